#include <gtest/gtest.h>

#include <QDateTime>

#include "export/ExportListReader.h"
#include "platform/PropertyList.h"

namespace {

// Whatever the split reader answers must be what the plain reader answers.
void expectSameAsPlainReader(const QByteArray& doc) {
    const auto plain = PropertyList::read(doc);
    const bool plainIsArray = plain && plain->typeId() == QMetaType::QVariantList;
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        QString error;
        const auto split = ExportListReader::readArray(doc, &error, threads);
        ASSERT_EQ(split.has_value(), plainIsArray) << error.toStdString();
        if (split) {
            EXPECT_EQ(*split, plain->toList());
        } else {
            EXPECT_FALSE(error.isEmpty());
        }
    }
}

QByteArray bigList(int count) {
    QVariantList items;
    for (int i = 0; i < count; ++i)
        items << QVariantMap{{"name", QString("item %1 & <more>").arg(i)},
                             {"fcpxmlstatus", -1},
                             {"big", QVariant::fromValue(quint64(0xFFFFFFFFFFFFFFF0ULL))},
                             {"when", QDateTime::fromSecsSinceEpoch(1700000000 + i, Qt::UTC)},
                             {"data", QByteArray("\x01\x02", 2)},
                             {"nested", QVariantList{1.5, true, QVariantMap{}, QVariantList{}}}};
    return PropertyList::toXml(items);
}

}  // namespace

TEST(ExportListReader, LargeListsMatchThePlainReader) {
    // Past the size where the elements are read on several threads.
    const QByteArray doc = bigList(3000);
    ASSERT_GT(doc.size(), 256 * 1024);
    expectSameAsPlainReader(doc);
    const auto list = ExportListReader::readArray(doc, nullptr, 2);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at(7).toMap().value("fcpxmlstatus").toLongLong(), -1);
    EXPECT_EQ(list->at(7).toMap().value("big").toULongLong(), 0xFFFFFFFFFFFFFFF0ULL);
}

TEST(ExportListReader, MarkupBetweenAndInsideElements) {
    const QByteArray head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";
    QByteArray body;
    for (int i = 0; i < 400; ++i)
        body +=
            "<!-- <dict> in a comment -->\n<dict><key>n</key><string><![CDATA[<dict></array>]]>"
            "</string><key>e</key><dict/><key>a</key><array><integer>" +
            QByteArray::number(i) + "</integer></array></dict>\n<string>s&amp;t</string>\n";
    expectSameAsPlainReader(head + "<plist version=\"1.0\">\n<array>\n" + body +
                            "</array>\n</plist>\n");
    expectSameAsPlainReader(head + "<plist version='1.0'><array/></plist>");
    expectSameAsPlainReader("<plist version=\"1.0\"><array></array></plist>");
}

TEST(ExportListReader, DamagedOrForeignDocumentsAreJudgedByThePlainReader) {
    const QByteArray good = bigList(2000);
    expectSameAsPlainReader(good.left(good.size() / 2));               // cut off
    expectSameAsPlainReader(good.left(good.size() - 9) + "</array>");  // no </plist>
    expectSameAsPlainReader(good + "trailing text");
    QByteArray broken = good;
    broken.replace(broken.indexOf("<integer>-1</integer>"), 9, "<integr>");
    expectSameAsPlainReader(broken);
    expectSameAsPlainReader(PropertyList::toXml(QVariantMap{{"root", "is a dictionary"}}));
    expectSameAsPlainReader(
        "<!DOCTYPE plist [<!ENTITY x \"y\">]><plist version=\"1.0\"><array><string>a</string>"
        "</array></plist>");
    expectSameAsPlainReader("");
    QString error;
    EXPECT_FALSE(
        ExportListReader::readArray(PropertyList::toXml(QVariantMap{{"a", 1}}), &error, 2));
    EXPECT_EQ(error, "the root is not an array");
}
