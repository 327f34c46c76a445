#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"

// Names from the editor and paths from the service end up in file paths.
// Whatever they hold, the files stay in the folder they belong to.
namespace {

const QStringList kHostileNames = {
    "../../../etc/passwd",
    "/etc/passwd",
    "..",
    ".",
    "a/../../b",
    "..\\..\\windows",
    QStringLiteral("clip") + QChar(0) + QStringLiteral("/../x"),
    "C:\\temp\\x",
    "name\nwith\nnewlines",
    "tab\tbell\a\x01escape\x1b[31m",
    "%2e%2e%2f%2e%2e",
    QString(4096, '/'),
    QString(300, 'n') + "/..",
    "\xE2\x80\xAE"
    "vom.exe",
};

bool inside(const QString& path, const QString& folder) {
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(QDir::cleanPath(folder) + '/');
}

}  // namespace

TEST(Containment, ShareNamesGiveFilesDirectlyInTheAssetsFolder) {
    const QString folder = QStringLiteral("/home/editor/Exports");
    for (const QString& name : kHostileNames) {
        SCOPED_TRACE(name.left(60).toStdString());
        const QString base = QVTesselUtil::sanitizeFileNameString(name);
        EXPECT_FALSE(base.contains('/'));
        for (const char* extension : {".mov", ".fcpxml"}) {
            const QString file = QDir(folder).filePath(base + extension);
            EXPECT_EQ(QFileInfo(QDir::cleanPath(file)).absolutePath(), folder);
        }
        const FCPXAsset asset(name, QUrl::fromLocalFile(folder));
        EXPECT_EQ(asset.locationInfo().value("basename").toString(), base);
    }
}

TEST(Containment, ExportItemsOfSanitisedNamesStayInTheStoreFolder) {
    TempHome home;
    const QString store = home.path() + "/Store";
    auto library = QVLibrary::libraryWithName(
        "L", "", 0, false, home.path() + "/L.tlibrary", "",
        QVConnection::connectionWithAddress("127.0.0.1", 7662, "u", "p"));
    ASSERT_TRUE(library);
    auto project = QVProject::projectWithName("P", library->dbName(), 0);
    for (const QString& name : kHostileNames) {
        SCOPED_TRACE(name.left(60).toStdString());
        const auto item = QVExportItem::exportItemWithName(
            QVTesselUtil::sanitizeFileNameString(name), QVariantMap(), library, project, 0, nullptr,
            store, false);
        ASSERT_TRUE(item);
        EXPECT_EQ(QFileInfo(QDir::cleanPath(item->originalPath())).absolutePath(), store);
        EXPECT_EQ(QFileInfo(QDir::cleanPath(item->fcpXMLPath())).absolutePath(), store);
        // After a restart the item must still name the files the editor
        // wrote, or they are never registered.
        const auto stored = PropertyList::read(PropertyList::toXml(item->exportItemDictionary()));
        ASSERT_TRUE(stored);
        const auto reloaded = QVExportItem::exportItemWithDictionary(stored->toMap());
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->name(), item->name());
        EXPECT_EQ(reloaded->originalPath(), item->originalPath());
        EXPECT_EQ(reloaded->fcpXMLPath(), item->fcpXMLPath());
    }
}

TEST(Containment, MediaPathsFromTheServiceStayInsideTheLibrary) {
    TempHome home;
    const QString root = home.path() + "/Main.tlibrary";
    auto local = QVLibrary::libraryWithName(
        "L", "", 0, false, root, "",
        QVConnection::connectionWithAddress("127.0.0.1", 7662, "u", "p"));
    auto network =
        QVLibrary::libraryWithName("N", "", 1, false, home.path() + "/elsewhere", root,
                                   QVConnection::connectionWithAddress("10.0.0.9", 7662, "u", "p"));
    ASSERT_TRUE(local && network);

    const QStringList hostile = {
        "..",    "../x",          "Media/../..",  "Media/../../x",    "/etc",
        "//etc", "Media/./../..", "a/b/../../..", "Media//..//..//x", "./../Media"};
    const QStringList fine = {"Media",     "Media/2024", "a/../Media",
                              "./Media/.", "Media/..x",  "..Media"};
    for (const auto& library : {local, network}) {
        for (const QString& media : hostile) {
            SCOPED_TRACE(media.toStdString());
            const auto location =
                QVUploadLocation::uploadLocationWithDictionary(QVariantMap{{"mediapath", media}});
            EXPECT_TRUE(location->uploadPathWithLibrary(library, "clip.mov").isNull());
        }
        for (const QString& media : fine) {
            SCOPED_TRACE(media.toStdString());
            const auto location =
                QVUploadLocation::uploadLocationWithDictionary(QVariantMap{{"mediapath", media}});
            const QString path = location->uploadPathWithLibrary(library, "clip.mov");
            ASSERT_FALSE(path.isNull());
            EXPECT_TRUE(inside(path, root)) << path.toStdString();
            EXPECT_TRUE(path.endsWith("/clip.mov"));
        }
        // A file name that climbs is refused too, whatever the media path.
        const auto location =
            QVUploadLocation::uploadLocationWithDictionary(QVariantMap{{"mediapath", "Media"}});
        EXPECT_TRUE(location->uploadPathWithLibrary(library, "../../clip.mov").isNull());
    }
}
