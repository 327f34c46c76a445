#include "FuzzEntries.h"
#include "export/QVExportItem.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"

namespace {

using FuzzEntries::check;

// What the export list stores for an item must read back to the same item.
void exportItem(const QVariantMap& dictionary) {
    const auto item = QVExportItem::exportItemWithDictionary(dictionary);
    if (!item) return;
    const QVariantMap stored = item->exportItemDictionary();
    QByteArray cached;
    item->appendXml(cached, 1);
    QByteArray streamed;
    PropertyList::appendXmlValue(streamed, stored, 1);
    check(cached == streamed, "an item's cached XML is its dictionary's XML");

    const auto back = PropertyList::read(PropertyList::toXml(QVariantList{stored}));
    check(back.has_value(), "a stored export item reads back");
    const QVariantMap reread = back->toList().value(0).toMap();
    check(reread == stored, "a stored export item reads back unchanged");
    check(QVExportItem::exportItemWithDictionary(reread) != nullptr,
          "a stored export item builds again");
}

void library(const QVariant& record) {
    const auto lib = QVLibrary::libraryWithDictionary(record);
    if (!lib) return;
    const auto stored = lib->libDictionary();
    check(stored.has_value(), "a built library has its dictionary");
    const auto back = PropertyList::read(PropertyList::toXml(*stored));
    check(back.has_value() && back->toMap() == *stored, "a library's dictionary reads back");
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
