#include "ui/kit/QVImages.h"

#include <memory>
#include <mutex>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/Resources.h"

namespace {

std::mutex& rendererMutex() {
    static std::mutex m;
    return m;
}

// Parsed renderers are kept: the same few images are drawn in every row.
std::shared_ptr<QSvgRenderer> rendererFor(const QString& name) {
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    Resources::ensureLoaded();
    std::lock_guard<std::mutex> lock(rendererMutex());
    auto it = cache.constFind(name);
    if (it != cache.constEnd()) return it.value();
    std::shared_ptr<QSvgRenderer> renderer;
    const QString path = QVImages::pathForName(name);
    if (!name.isEmpty() && QFile::exists(path)) {
        renderer = std::make_shared<QSvgRenderer>(path);
        if (!renderer->isValid()) renderer.reset();
    }
    cache.insert(name, renderer);
    return renderer;
}

}  // namespace

QString QVImages::pathForName(const QString& name) {
    return QStringLiteral(":/images/") + name + QStringLiteral(".svg");
}

bool QVImages::exists(const QString& name) {
    return rendererFor(name) != nullptr;
}

QStringList QVImages::allNames() {
    Resources::ensureLoaded();
    QStringList names;
    const QStringList files =
        QDir(QStringLiteral(":/images")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    for (const QString& file : files) names << file.chopped(4);
    names.sort();
    return names;
}

QSizeF QVImages::naturalSize(const QString& name) {
    auto renderer = rendererFor(name);
    if (!renderer) return QSizeF();
    std::lock_guard<std::mutex> lock(rendererMutex());
    return renderer->defaultSize();
}

QIcon QVImages::icon(const QString& name) {
    if (!exists(name)) return QIcon();
    return QIcon(pathForName(name));
}

QPixmap QVImages::pixmap(const QString& name, const QSizeF& logicalSize, qreal devicePixelRatio) {
    auto renderer = rendererFor(name);
    if (!renderer) return QPixmap();
    const QSizeF size = logicalSize.isEmpty() ? naturalSize(name) : logicalSize;
    qreal ratio = devicePixelRatio;
    if (ratio <= 0) ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QSize pixels = (size * ratio).toSize().expandedTo(QSize(1, 1));
    QPixmap pm(pixels);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        std::lock_guard<std::mutex> lock(rendererMutex());
        renderer->render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    pm.setDevicePixelRatio(ratio);
    return pm;
}

bool QVImages::paint(QPainter* painter, const QString& name, const QRectF& target) {
    auto renderer = rendererFor(name);
    if (!renderer || !painter) return false;
    std::lock_guard<std::mutex> lock(rendererMutex());
    renderer->render(painter, target);
    return true;
}
