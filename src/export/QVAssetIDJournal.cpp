#include "export/QVAssetIDJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QUrl>

#include "platform/AtomicFile.h"

namespace {

// Far more than the records of every share between two writes of the list;
// a larger file is not a journal this agent wrote.
constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

const char* fileName(QVExportItem::File file) {
    return file == QVExportItem::File::Movie ? "movie" : "description";
}

}  // namespace

QVAssetIDJournal::QVAssetIDJournal(QString path) : path_(std::move(path)) {}

bool QVAssetIDJournal::append(const QList<Record>& records) {
    if (records.isEmpty()) return true;
    QByteArray lines;
    for (const Record& record : records) {
        if (record.path.isEmpty() || record.assetID.isEmpty()) return false;
        lines += fileName(record.file);
        lines += '\t';
        lines += QUrl::toPercentEncoding(record.path);
        lines += '\t';
        lines += QUrl::toPercentEncoding(record.assetID);
        lines += '\n';
    }
    return AtomicFile::appendLines(path_, lines);
}

QList<QVAssetIDJournal::Record> QVAssetIDJournal::read() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes) return {};
    const QByteArray data = file.readAll();
    QList<Record> records;
    // Only lines that end: the last one may have been cut short.
    const QList<QByteArray> lines = data.left(data.lastIndexOf('\n') + 1).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3) continue;
        Record record;
        if (fields[0] == "movie")
            record.file = QVExportItem::File::Movie;
        else if (fields[0] == "description")
            record.file = QVExportItem::File::FCPXML;
        else
            continue;
        record.path = QUrl::fromPercentEncoding(fields[1]);
        record.assetID = QUrl::fromPercentEncoding(fields[2]);
        if (!record.path.isEmpty() && !record.assetID.isEmpty()) records.append(record);
    }
    return records;
}

bool QVAssetIDJournal::clear() {
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    const bool ok = ::ftruncate(fd, 0) == 0 && ::fdatasync(fd) == 0;
    ::close(fd);
    return ok;
}

QList<QVAssetIDJournal::Record> QVAssetIDJournal::recordsOf(const QVExportItem& item) {
    QList<Record> records;
    const QString movie = item.movieAssetID();
    if (!item.fcpXMLOnly() && !movie.isEmpty())
        records.append({QVExportItem::File::Movie, item.originalPath(), movie});
    const QString description = item.fcpXMLAssetID();
    if (!description.isEmpty())
        records.append({QVExportItem::File::FCPXML, item.fcpXMLPath(), description});
    return records;
}

qsizetype QVAssetIDJournal::applyTo(const QList<std::shared_ptr<QVExportItem>>& items) const {
    const QList<Record> records = read();
    if (records.isEmpty()) return 0;
    QHash<QString, QVExportItem*> movies, descriptions;
    for (const auto& item : items) {
        if (!item->fcpXMLOnly()) movies.insert(item->normalizedOriginalPath(), item.get());
        descriptions.insert(item->normalizedFcpXMLPath(), item.get());
    }
    for (const Record& record : records) {
        const bool movie = record.file == QVExportItem::File::Movie;
        QVExportItem* item = (movie ? movies : descriptions)
                                 .value(record.path.normalized(QString::NormalizationForm_C));
        if (!item) continue;  // deleted or cleared since
        item->setAssetID(record.assetID);
        if (movie)
            item->setMovieAssetID(record.assetID);
        else
            item->setFcpXMLAssetID(record.assetID);
        // The list may have been written last before the registration
        // began; the file was being created when its ID came, and with the
        // ID the launch only confirms it instead of creating it again.
        const qint64 status = item->statusOf(record.file);
        if (QVExportItem::unannounced(status))
            item->advanceStatus(record.file, status, QVExportStatusCreating);
    }
    return records.size();
}
