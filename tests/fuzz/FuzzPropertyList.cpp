#include <cstdio>

#include <QDateTime>

#include "FuzzEntries.h"
#include "export/QVExportItem.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"

namespace {

using FuzzEntries::check;

// Text as the property-list writer stores it: XML 1.0 cannot carry the
// control characters other than tab, line feed and carriage return (they
// are dropped), nor half a surrogate pair (it becomes U+FFFD); its dates
// hold whole seconds.
QString storable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c).append(text.at(++i));
        } else if (c.isSurrogate()) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(c);
        }
    }
    return out;
}

// The value as it reads back after a round trip through XML. The reader
// bounds the depth (512), so recursion here is safe.
QVariant storable(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QString:
            return storable(value.toString());
        case QMetaType::QVariantList: {
            QVariantList list = value.toList();
            for (QVariant& item : list) item = storable(item);
            return list;
        }
        case QMetaType::QVariantMap: {
            QVariantMap map;
            const QVariantMap source = value.toMap();
            for (auto it = source.begin(); it != source.end(); ++it)
                map.insert(storable(it.key()), storable(it.value()));
            return map;
        }
        case QMetaType::QDateTime: {
            // XML dates hold whole seconds; a date outside the years 0 to
            // 9999 is written empty and reads back as the Unix epoch.
            const QDateTime date = value.toDateTime().toUTC();
            if (!date.isValid() || date.date().year() < 0 || date.date().year() > 9999)
                return QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
            const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
            const qint64 floored = ms >= 0 ? ms - ms % 1000 : ms - ((ms % 1000) + 1000) % 1000;
            return QDateTime::fromMSecsSinceEpoch(floored, Qt::UTC);
        }
        default:
            return value;
    }
}

// What the export list stores for an item must read back to the same item.
void exportItem(const QVariantMap& dictionary) {
    const auto item = QVExportItem::exportItemWithDictionary(dictionary);
    if (!item) return;
    const QVariantMap stored = item->exportItemDictionary();
    // The item writes its metadata as the text it was stored with, so the
    // order of keys that XML cannot hold exactly may differ; the value may not.
    const auto asDocument = [](const QByteArray& element) {
        return PropertyList::read(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
            "version=\"1.0\">\n" +
            element + "</plist>\n");
    };
    QByteArray written;
    item->appendXml(written, 1);
    QByteArray streamed;
    PropertyList::appendXmlValue(streamed, stored, 1);
    const auto writtenValue = asDocument(written);
    check(writtenValue.has_value() && writtenValue == asDocument(streamed),
          "an item writes the value of its dictionary");

    const auto back = PropertyList::read(PropertyList::toXml(QVariantList{stored}));
    check(back.has_value(), "a stored export item reads back");
    const QVariantMap reread = back->toList().value(0).toMap();
    const QVariant expected = storable(QVariant(stored));
    if (QVariant(reread) != expected)
        std::fprintf(stderr, "stored:\n%s\nread back:\n%s\n",
                     PropertyList::toXml(expected).constData(),
                     PropertyList::toXml(reread).constData());
    check(QVariant(reread) == expected,
          "a stored export item reads back unchanged (apart from what XML cannot hold)");
    check(QVExportItem::exportItemWithDictionary(reread) != nullptr,
          "a stored export item builds again");
}

void library(const QVariant& record) {
    const auto lib = QVLibrary::libraryWithDictionary(record);
    if (!lib) return;
    const auto stored = lib->libDictionary();
    check(stored.has_value(), "a built library has its dictionary");
    const auto back = PropertyList::read(PropertyList::toXml(*stored));
    check(back.has_value() && QVariant(back->toMap()) == storable(QVariant(*stored)),
          "a library's dictionary reads back");
    check(QVLibrary::libraryWithDictionary(*back) != nullptr, "a stored library builds again");
}

void project(const QVariant& record) {
    const auto node = QVProject::projectWithDictionary(record);
    if (!node) return;
    const auto stored = node->projectDictionary();
    check(stored.has_value(), "a built project has its dictionary");
    check(QVProject::projectWithDictionary(*stored) != nullptr, "a stored project builds again");
}

}  // namespace

namespace FuzzEntries {

int propertyListRecords(const uint8_t* data, size_t size) {
    initialize();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto value = PropertyList::read(bytes);
    if (!value) return 0;
    // The export list is an array of items; a registry file is a dictionary
    // of library entries, or one entry.
    QVariantList records;
    if (value->typeId() == QMetaType::QVariantList) {
        records = value->toList();
    } else if (value->typeId() == QMetaType::QVariantMap) {
        records.append(*value);
        for (const QVariant& entry : value->toMap()) records.append(entry);
    }
    int seen = 0;
    for (const QVariant& record : records) {
        if (++seen > 64) break;
        if (record.typeId() == QMetaType::QVariantMap) exportItem(record.toMap());
        library(record);
        project(record);
    }
    return 0;
}

}  // namespace FuzzEntries
