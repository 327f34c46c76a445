#pragma once

// An export history as an earlier launch stored it, and a named pipe that
// holds the agent's read of it until a test chooses to fill it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QThread>
#include <QVariantMap>

#include "export/QVExportItem.h"

namespace StoredHistory {

// A finished share as the list keeps it.
inline QVariantMap finished(const QString& name, const QString& library, const QString& project,
                            const QString& projectName = QStringLiteral("Stored")) {
    return {{"name", name},
            {"library", library},
            {"project", project},
            {"projectname", projectName},
            {"original", "/srv/earlier/" + name + ".mov"},
            {"fcpxml", "/srv/earlier/" + name + ".fcpxml"},
            {"assetid", "a-" + name},
            {"exportstatus", qint64(QVExportStatusCompleted)},
            {"fcpxmlstatus", qint64(QVExportStatusCompleted)},
            {"fcpxmlonly", false},
            {"importtype", qint64(QVImportTypeInsideLibrary)}};
}

// Writes data into the named pipe once a reader has opened it.
inline bool feedPipe(const QString& path, const QByteArray& data) {
    const QDeadlineTimer deadline(30000);
    int fd = -1;
    while ((fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK)) < 0) {
        if (errno != ENXIO || deadline.hasExpired()) return false;
        QThread::msleep(10);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n <= 0) break;
        done += n;
    }
    ::close(fd);
    return done == data.size();
}

}  // namespace StoredHistory
