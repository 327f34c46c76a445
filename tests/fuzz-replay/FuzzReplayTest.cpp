#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzEntries.h"
#include "support/TempHome.h"

namespace {

using Entry = int (*)(const uint8_t*, size_t);

// Runs every kept input of one target; an input that breaks an invariant
// aborts the program with its file name.
int replay(const char* target, Entry entry) {
    const QDir dir(QStringLiteral(RELAYDOCK_FUZZ_CORPUS "/") + QLatin1String(target));
    int count = 0;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << name.toStdString();
            continue;
        }
        const QByteArray bytes = file.readAll();
        const QByteArray label = QFile::encodeName(file.fileName());
        FuzzEntries::setInputName(label.constData());
        entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        FuzzEntries::setInputName(nullptr);
        ++count;
    }
    return count;
}

class FuzzCorpusReplay : public ::testing::Test {
  protected:
    TempHome home;
};

}  // namespace

TEST_F(FuzzCorpusReplay, AppleEventFrames) {
    EXPECT_GT(replay("appleevent", FuzzEntries::appleEventFrames), 0);
}

TEST_F(FuzzCorpusReplay, PropertyListRecords) {
    EXPECT_GT(replay("plist_records", FuzzEntries::propertyListRecords), 0);
}

TEST_F(FuzzCorpusReplay, ServiceAnswers) {
    EXPECT_GT(replay("service_answer", FuzzEntries::serviceAnswer), 0);
}

TEST_F(FuzzCorpusReplay, ProjectTrees) {
    EXPECT_GT(replay("project_tree", FuzzEntries::projectTree), 0);
}
