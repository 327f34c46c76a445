#pragma once

#include <memory>

#include <QList>
#include <QString>

#include "export/QVExportItem.h"

// New asset IDs, appended to a small file beside the export list the moment
// the service hands them out. An ID must be on disk before its upload is
// confirmed (an agent that died in between would otherwise create the
// asset again at its next launch), and a record here is on disk in a
// fraction of the time a write of the whole list takes. The list's next
// write takes the IDs along, after which the journal is emptied; the load
// of the list applies whatever the journal still holds.
//
// One line per record: the file ("movie" or "description"), the file's
// path and the asset ID, percent-encoded and separated by tabs. A line cut
// short by a crash, or one that is not of that form, is ignored.
class QVAssetIDJournal {
  public:
    struct Record {
        QVExportItem::File file = QVExportItem::File::Movie;
        QString path;
        QString assetID;
    };

    explicit QVAssetIDJournal(QString path);

    // Appends the records and waits until they are on disk. False when they
    // may not be (the caller then writes the whole list instead).
    bool append(const QList<Record>& records);
    // The complete records, oldest first; none when there is no journal.
    QList<Record> read() const;
    // Empties the journal once a write of the list holds every record.
    bool clear();

    // The records of an item's asset IDs (those it has).
    static QList<Record> recordsOf(const QVExportItem& item);
    // Gives the items of the list just read the IDs recorded for their
    // files (the latest record wins), a file still waiting for the editor
    // moving on to "creating"; returns how many records there were.
    qsizetype applyTo(const QList<std::shared_ptr<QVExportItem>>& items) const;
    QString path() const { return path_; }

  private:
    const QString path_;
};
