#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"

namespace {

std::shared_ptr<QVLibrary> makeLibrary(qint64 type, const QString& mountPath = QString()) {
    return QVLibrary::libraryWithName("L", "", type, false, "/Libraries/L.lib", mountPath,
                                      std::make_shared<QVConnection>());
}

std::shared_ptr<QVUploadLocation> location(const QVariant& mediaPath) {
    QVariantMap answer{{"path", "2024/01/02"}, {"url", "http://h/x"}, {"dbname", "L"}};
    if (mediaPath.isValid()) answer.insert("mediapath", mediaPath);
    return QVUploadLocation::uploadLocationWithDictionary(answer);
}

}  // namespace

TEST(QVUploadLocation, NilOrIncompleteAnswersGiveNoPaths) {
    auto empty = QVUploadLocation::uploadLocationWithDictionary(QVariant());
    EXPECT_FALSE(empty->uploadLocationDict().has_value());
    EXPECT_TRUE(empty->mediaPath().isNull());
    EXPECT_TRUE(empty->dbName().isNull());
    EXPECT_TRUE(empty->uploadPathWithLibrary(makeLibrary(0), "a.mov").isNull());
    EXPECT_TRUE(empty->masterPathWithFileName("a.mov").isNull());

    auto noMedia = location(QVariant());
    EXPECT_EQ(noMedia->datetimePath(), "2024/01/02");
    EXPECT_EQ(noMedia->url(), "http://h/x");
    EXPECT_TRUE(noMedia->uploadPathWithLibrary(makeLibrary(0), "a.mov").isNull());
    EXPECT_TRUE(noMedia->masterPathWithFileName("a.mov").isNull());

    // A number where a string belongs reads as missing.
    EXPECT_TRUE(location(42)->mediaPath().isNull());
    EXPECT_TRUE(location("Media/Master")->uploadPathWithLibrary(nullptr, "a.mov").isNull());
}

TEST(QVUploadLocation, PathsInsideLocalAndNetworkLibraries) {
    auto loc = location("Media/Master/2024/01/02/");
    EXPECT_EQ(loc->uploadPathWithLibrary(makeLibrary(0), "Clip.mov"),
              "/Libraries/L.lib/Media/Master/2024/01/02/Clip.mov");
    // Without a file name: the folder the editor writes into.
    EXPECT_EQ(loc->uploadPathWithLibrary(makeLibrary(0)),
              "/Libraries/L.lib/Media/Master/2024/01/02");
    EXPECT_EQ(loc->masterPathWithFileName("Clip.mov"), "Media/Master/2024/01/02/Clip.mov");

    // A network library is rooted at its mount path, and has no root without one.
    EXPECT_EQ(loc->uploadPathWithLibrary(makeLibrary(1, "/mnt/net/L"), "Clip.mov"),
              "/mnt/net/L/Media/Master/2024/01/02/Clip.mov");
    EXPECT_TRUE(loc->uploadPathWithLibrary(makeLibrary(1), "Clip.mov").isNull());
}

TEST(QVUploadLocation, MediaPathsLeavingTheLibraryAreRefused) {
    QVLog::Capture capture;
    for (const char* bad : {"/etc", "../../outside", "Media/../../x", "Media/./../.."}) {
        SCOPED_TRACE(bad);
        EXPECT_TRUE(location(bad)->uploadPathWithLibrary(makeLibrary(0), "Clip.mov").isNull());
        EXPECT_TRUE(location(bad)->uploadPathWithLibrary(makeLibrary(0)).isNull());
    }
    EXPECT_TRUE(capture.contains("outside the library"));
    // Climbing back down inside the root is harmless.
    EXPECT_EQ(location("Media/Preview/../Master")->uploadPathWithLibrary(makeLibrary(0), "c.mov"),
              "/Libraries/L.lib/Media/Preview/../Master/c.mov");
    // A file name cannot climb out either.
    EXPECT_TRUE(location("Media")->uploadPathWithLibrary(makeLibrary(0), "../../x").isNull());
}
