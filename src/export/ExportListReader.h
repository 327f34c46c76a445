#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariantList>

// Reads the export list file (an XML property list whose root is an array)
// with libplist, splitting the array's elements into a few ranges that are
// parsed on separate threads. A light scan of the markup finds the element
// boundaries; anything it does not expect (a document type with its own
// declarations, a root that is no array, stray text) sends the whole
// document to PropertyList::read instead, so the result and the errors are
// always those of the plain reader.
namespace ExportListReader {

// The root array, or nothing with a reason when the data is no property
// list or its root is no array.
std::optional<QVariantList> readArray(const QByteArray& data, QString* error = nullptr,
                                      int threads = 0);

// The byte ranges [begin, end) of the root array's elements; nothing when
// the scan cannot vouch for them.
std::optional<QList<std::pair<qsizetype, qsizetype>>> elementRanges(const QByteArray& data);

}  // namespace ExportListReader
