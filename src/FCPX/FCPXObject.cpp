#include "FCPX/FCPXObject.h"

#include <unistd.h>

#include <atomic>
#include <mutex>

#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptingDefinition.h"

namespace {
std::atomic<quint64> nameCounter{1};
std::atomic<qint64> idCounter{1};
std::once_flag idStateOnce;
qint32 capturedProcessID = 0;
}  // namespace

FCPXObject::FCPXObject()
    : uniqueID_(calculateNewUniqueID()),
      name_(QStringLiteral("Untitled %1").arg(calculateNameCounter())) {}

FCPXObject::~FCPXObject() = default;

QString FCPXObject::calculateNewUniqueID() {
    std::call_once(idStateOnce, [] { capturedProcessID = qint32(::getpid()); });
    const qint64 n = idCounter.fetch_add(1);
    return QStringLiteral("%1-%2-%3").arg("CORVANE-PRO").arg(capturedProcessID).arg(n);
}

quint64 FCPXObject::calculateNameCounter() {
    return nameCounter.fetch_add(1);
}

void FCPXObject::setContainer(const std::shared_ptr<ScriptableObject>& container,
                              const QString& property) {
    container_ = container;
    containerProperty_ = property;
}

std::optional<ObjectSpecifier> FCPXObject::objectSpecifier() const {
    const auto holder = container_.lock();
    if (!holder) return std::nullopt;
    const auto* holderClass =
        ScriptingDefinition::relaydock().classWithCocoaClass(holder->scriptingClassName());
    const auto holderSpecifier = holder->objectSpecifier();
    if (!holderClass || !holderSpecifier) return std::nullopt;
    return ObjectSpecifier::uniqueID(holderClass->name, *holderSpecifier, containerProperty_,
                                     uniqueID_);
}

QVariant FCPXObject::valueForKey(const QString& key) const {
    if (key == QLatin1String("uniqueID")) return uniqueID_;
    if (key == QLatin1String("name")) return name_;
    return {};
}

bool FCPXObject::setValueForKey(const QString& key, const QVariant& value) {
    if (key == QLatin1String("name") && value.typeId() == QMetaType::QString) {
        name_ = value.toString();
        return true;
    }
    return false;
}
