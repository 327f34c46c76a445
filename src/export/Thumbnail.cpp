// glib first: its headers must not see Qt's keyword macros.
#include <glib.h>

#include "export/Thumbnail.h"

#include <atomic>
#include <exception>
#include <memory>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "export/ThumbnailDecoder.h"
#include "platform/AtomicFile.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"

namespace {

// Bound on the longer side: a picture of extreme aspect (1 x 10000 pixels,
// say) would otherwise ask for an image of gigabytes.
constexpr int kMaxLongSide = 20 * Thumbnail::kEdgeLength;

// Cache folders of the freedesktop thumbnail cache layout, largest first.
const char* const kCacheFolders[] = {"xx-large", "x-large", "large", "normal"};

QSize capped(int width, int height) {
    return QSize(std::min(width, kMaxLongSide), std::min(height, kMaxLongSide));
}

int rounded(double value) {
    return value >= kMaxLongSide ? kMaxLongSide : static_cast<int>(value + 0.5);
}

// The file's URI escaped the way GLib (and so the desktop's thumbnailers)
// escape it; the cache file is named after its MD5.
QByteArray fileUri(const QString& path) {
    const QByteArray local = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    gchar* uri = g_filename_to_uri(local.constData(), nullptr, nullptr);
    if (!uri) return {};
    QByteArray result(uri);
    g_free(uri);
    return result;
}

// The size of a thumbnail of at most edge x edge pixels, aspect kept.
QSize fitted(const QSize& pixels) {
    const int w = pixels.width();
    const int h = pixels.height();
    const int edge = Thumbnail::kEdgeLength;
    if (w <= edge && h <= edge) return pixels;
    if (w >= h) return QSize(edge, std::max(1, rounded(double(edge) * h / w)));
    return QSize(std::max(1, rounded(double(edge) * w / h)), edge);
}

// Draws the source at the given size; null when the size is empty.
QImage drawn(const QImage& source, const QSize& size) {
    if (source.isNull() || size.width() <= 0 || size.height() <= 0) return {};
    if (source.size() == size) return source;
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

namespace Thumbnail {

QSize sizeForCachedThumbnail(const QSize& pixels) {
    const int w = pixels.width();
    const int h = pixels.height();
    if (w <= 0 || h <= 0) return {};
    if (h < kEdgeLength) return capped(rounded(double(kEdgeLength) * w / h), kEdgeLength);
    return capped(w, h);
}

QSize sizeForMediaImage(const QSize& pixels) {
    const int w = pixels.width();
    const int h = pixels.height();
    if (w <= 0 || h <= 0) return {};
    const double aspect = double(w) / h;
    if (aspect <= 1) return capped(kEdgeLength, rounded(kEdgeLength / aspect));
    return capped(rounded(kEdgeLength * aspect), kEdgeLength);
}

QImage cachedThumbnail(const QString& path) {
    const QByteArray uri = fileUri(path);
    if (uri.isEmpty()) return {};
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
        ".png";
    const QString root =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/thumbnails/";
    const qint64 modified = QFileInfo(path).lastModified().toSecsSinceEpoch();
    for (const char* folder : kCacheFolders) {
        const QString file = root + folder + "/" + name;
        if (!QFileInfo::exists(file)) continue;
        // (QImageReader::text cannot be used: it cuts keys at the colon.)
        const QImage image(file, "png");
        if (image.isNull()) continue;
        // A thumbnail made before the file was last written shows old content.
        const QString stamp = image.text("Thumb::MTime");
        if (!stamp.isEmpty() && stamp.toLongLong() != modified) continue;
        return image;
    }
    return {};
}

QImage thumbnailImageWithPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return {};

    QImage cached = cachedThumbnail(path);
    if (!cached.isNull()) {
        // The cache holds sizes up to 1024; the thumbnail taken from it is at
        // most edge x edge before the cache's own sizing rule applies.
        return drawn(cached, sizeForCachedThumbnail(fitted(cached.size())));
    }

    ThumbnailDecoder decoder(path);
    if (!decoder.isOpen()) return {};
    const QImage artwork = decoder.artwork();
    if (!artwork.isNull()) return drawn(artwork, sizeForMediaImage(artwork.size()));
    return decoder.firstVideoFrame(sizeForMediaImage);
}

void thumbnailWithPath(const QString& path, Completion completion) {
    // Guarantees a single call even if scheduling fails half-way.
    auto called = std::make_shared<std::atomic_bool>(false);
    auto finish = [called, completion](const QImage& image) {
        if (!called->exchange(true) && completion) completion(image);
    };
    try {
        Dispatch::background([path, finish]() {
            QImage image;
            try {
                image = thumbnailImageWithPath(path);
            } catch (const std::exception& e) {
                QVLog::log(QString::fromUtf8(e.what()));
                image = QImage();
            }
            finish(image);
        });
    } catch (const std::exception& e) {
        QVLog::log(QString::fromUtf8(e.what()));
        finish(QImage());
    }
}

bool saveJPEGWithPath(const QImage& image, const QString& path) {
    if (image.isNull()) return false;
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPEG")) return false;
    buffer.close();
    return AtomicFile::write(path, data);
}

}  // namespace Thumbnail
