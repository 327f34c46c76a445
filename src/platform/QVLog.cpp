#include "platform/QVLog.h"

#include <map>
#include <mutex>

Q_LOGGING_CATEGORY(lcRelaydock, "relaydock")

namespace {

struct CaptureRegistry {
    std::mutex mutex;
    quint64 next = 1;
    std::map<quint64, QStringList> captures;
};

CaptureRegistry& registry() {
    static CaptureRegistry instance;
    return instance;
}

}  // namespace

void QVLog::log(const QString& message) {
    qCInfo(lcRelaydock).noquote() << message;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto& [id, lines] : r.captures) lines.append(message);
}

QVLog::Capture::Capture() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    id_ = r.next++;
    r.captures.emplace(id_, QStringList());
}

QVLog::Capture::~Capture() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.captures.erase(id_);
}

QStringList QVLog::Capture::lines() const {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.captures.find(id_);
    return it == r.captures.end() ? QStringList() : it->second;
}

bool QVLog::Capture::contains(const QString& text) const {
    const QStringList all = lines();
    for (const QString& line : all)
        if (line.contains(text)) return true;
    return false;
}
