// A cold launch whose first share comes before the export list was read: the
// user answers the destination sheet, the share completes, and the history
// read afterwards is kept whole beneath it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QThread>

#include "LiveFixture.h"
#include "export/QVExportItem.h"
#include "platform/PropertyList.h"
#include "service/QVTesselUtil.h"
#include "support/StoredHistory.h"

namespace {

bool isPipe(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool bothAssetsComplete(const QList<QJsonObject>& assets) {
    if (assets.size() != 2) return false;
    for (const QJsonObject& asset : assets)
        if (!asset.value("_completed").toBool()) return false;
    return true;
}

}  // namespace

using Live = LiveFixture;

// The stored list is a named pipe the test fills only after the share, so
// the share is answered, in full, before the agent has read a line of it.
TEST_F(Live, AShareBeforeTheListIsReadIsAddedOnTopOfTheHistory) {
    constexpr int kStored = 20;
    QVariantList history;
    for (int i = 0; i < kStored; ++i)
        history << StoredHistory::finished(QString("Earlier %1").arg(i), "demo",
                                           "documentary-interviews", "Interviews");
    ASSERT_TRUE(QDir().mkpath(QVTesselUtil::relaydockFolder()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(listFile()).constData(), 0600), 0);

    ASSERT_NO_FATAL_FAILURE(startSession({}, true, QStringLiteral("Libraries loaded")));
    startShare("Cold Clip");
    const Spot sheet = waitFor("QVTesselImportPanel/OKButton");
    ASSERT_TRUE(sheet.found()) << "no destination sheet";
    EXPECT_LT(paintedShare(sheet.window, kMaxBlack), kMaxBlack);
    ASSERT_NO_FATAL_FAILURE(click("QVTesselImportPanel/libraryListButton"));
    ASSERT_NO_FATAL_FAILURE(click("libraryTableView#Demo Library"));
    ASSERT_NO_FATAL_FAILURE(click("projectOutlineView#B-Roll"));
    ASSERT_NO_FATAL_FAILURE(click("QVTesselImportPanel/OKButton"));
    EXPECT_EQ(finishShare().value("status").toString(), "ok");

    // Done as far as the service is concerned, and the stored list is still
    // unread and untouched.
    QDeadlineTimer deadline(30000);
    while (!bothAssetsComplete(assetsNamed("Cold Clip")) && !deadline.hasExpired())
        QThread::msleep(50);
    ASSERT_TRUE(bothAssetsComplete(assetsNamed("Cold Clip")));
    EXPECT_FALSE(agentLog().contains("Export list loaded"));
    ASSERT_TRUE(isPipe(listFile())) << "the stored list was replaced before it was read";

    ASSERT_TRUE(StoredHistory::feedPipe(listFile(), PropertyList::toXml(history)));
    ASSERT_TRUE(waitForLog(QString("Export list loaded: %1 items").arg(kStored + 1)));
    ASSERT_TRUE(waitForStoredStatus("Cold Clip", QVExportStatusCompleted));
    const QVariantList stored = storedItems();
    ASSERT_EQ(stored.size(), kStored + 1);
    const QVariantMap cold = stored.first().toMap();
    EXPECT_EQ(cold.value("name").toString(), "Cold Clip");
    EXPECT_EQ(cold.value("project").toString(), "documentary-broll");
    EXPECT_EQ(stored.mid(1), history);
}
