#include "SaveWatcher.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <map>

#include <QFile>
#include <QFileInfo>

qint64 SaveWatcher::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SaveWatcher::SaveWatcher(const QString& file) : name_(QFileInfo(file).fileName()) {
    fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd_ < 0) return;
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    if (::inotify_add_watch(fd_, folder.constData(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

SaveWatcher::~SaveWatcher() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void SaveWatcher::run() {
    // The writer's temporaries are named ".<file>.<...>.tmp".
    const QString temporary = QLatin1Char('.') + name_ + QLatin1Char('.');
    std::map<QString, qint64> created;
    std::map<quint32, qint64> moving;  // rename cookie -> start
    alignas(inotify_event) char buffer[8192];
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const qint64 at = nowUs();
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            const QString name = QString::fromLocal8Bit(event->name);
            if ((event->mask & IN_CREATE) && name.startsWith(temporary)) {
                created[name] = at;
            } else if ((event->mask & IN_MOVED_FROM) && created.count(name)) {
                moving[event->cookie] = created[name];
                created.erase(name);
            } else if ((event->mask & IN_MOVED_TO) && name == name_) {
                const auto start = moving.find(event->cookie);
                std::lock_guard lock(mutex_);
                saves_.push_back({start == moving.end() ? 0 : start->second, at});
                if (start != moving.end()) moving.erase(start);
            }
        }
    }
}

std::vector<SaveWatcher::Save> SaveWatcher::savesBetween(qint64 fromUs, qint64 toUs) const {
    std::lock_guard lock(mutex_);
    std::vector<Save> out;
    for (const Save& save : saves_)
        if (save.landedUs >= fromUs && save.landedUs <= toUs) out.push_back(save);
    return out;
}
