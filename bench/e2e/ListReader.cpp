#include "ListReader.h"

#include <QFile>

#include "platform/PropertyList.h"

void ListReader::read(const QString& name) {
    item_.clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray data = file.readAll();
    const qsizetype from = data.indexOf("<array>\n");
    const qsizetype to = data.indexOf("\n\t</dict>\n", from);
    if (from >= 0 && to > from) {
        const QByteArray first = PropertyList::xmlHeader() + data.mid(from, to - from) +
                                 "\n\t</dict>\n</array>\n" + PropertyList::xmlFooter();
        const auto root = PropertyList::read(first);
        if (root && !root->toList().isEmpty()) item_ = root->toList().first().toMap();
    }
    if (item_.value("name").toString() == name) return;
    item_.clear();  // not on top: the whole list, then
    if (const auto root = PropertyList::read(data))
        for (const auto& v : root->toList())
            if (v.toMap().value("name").toString() == name) item_ = v.toMap();
}

qint64 ListReader::status(const char* key) const {
    return item_.isEmpty() ? -99 : item_.value(key).toLongLong();
}
