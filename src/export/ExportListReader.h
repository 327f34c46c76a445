#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
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

// The elements one by one, so that a caller can turn each into what it keeps
// while the next is read, and never holds the whole tree. begin(count) comes
// first; element(index, value, text) then runs on a few threads at once,
// once per index, with the element's own markup (empty when the document had
// to be read whole). When a piece does not read on its own, begin is called
// again and every element is handed over anew from the plain reader: a
// later call for an index replaces an earlier one.
struct ElementSink {
    std::function<void(qsizetype count)> begin;
    std::function<void(qsizetype index, QVariant&& value, QByteArrayView text)> element;
};
bool readElements(const QByteArray& data, const ElementSink& sink, QString* error = nullptr,
                  int threads = 0);

// The byte ranges [begin, end) of the root array's elements; nothing when
// the scan cannot vouch for them.
std::optional<QList<std::pair<qsizetype, qsizetype>>> elementRanges(const QByteArray& data);

}  // namespace ExportListReader
