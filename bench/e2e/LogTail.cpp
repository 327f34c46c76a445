#include "LogTail.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QThread>

LogTail::LogTail(const QString& path) : file_(path) {
    watch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, QFile::encodeName(path), IN_MODIFY) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

LogTail::~LogTail() {
    if (watch_ >= 0) ::close(watch_);
}

bool LogTail::contains(const QByteArray& line) {
    if (!file_.isOpen() && !file_.open(QIODevice::ReadOnly)) return false;
    text_ += file_.readAll();
    return text_.contains(line);
}

void LogTail::forget() {
    contains({});
    text_.clear();
}

void LogTail::waitForGrowth(int ms) {
    if (watch_ < 0) {
        QThread::usleep(200);
        return;
    }
    pollfd p{watch_, POLLIN, 0};
    if (::poll(&p, 1, ms) > 0) {
        alignas(inotify_event) char buffer[4096];
        while (::read(watch_, buffer, sizeof buffer) > 0) {
        }
    }
}
