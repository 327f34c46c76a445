#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include "export/Thumbnail.h"
#include "platform/Dispatch.h"
#include "support/TempHome.h"

namespace {

// Media files made once for the whole suite with the ffmpeg command line.
class ThumbnailTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        error_ = new QString();
        makeFixtures();
    }
    static void TearDownTestSuite() {
        delete dir_;
        delete error_;
        dir_ = nullptr;
        error_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(error_->isEmpty()) << error_->toStdString();
        home_ = std::make_unique<TempHome>();
    }
    void TearDown() override { home_.reset(); }

    static QString file(const QString& name) { return dir_->filePath(name); }

    static bool ffmpeg(const QStringList& arguments) {
        if (!error_->isEmpty()) return false;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("ffmpeg", QStringList{"-nostdin", "-v", "error", "-y"} + arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            *error_ = "ffmpeg " + arguments.join(' ') + ": " + process.readAll();
            return false;
        }
        return true;
    }

    static QStringList lavfi(const QString& source) { return {"-f", "lavfi", "-i", source}; }

    static void makeFixtures() {
        const QStringList x264 = {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
        ffmpeg(lavfi("testsrc2=size=1920x1080:rate=25") + QStringList{"-frames:v", "2", "-c:v",
                                                                      "prores_ks", "-profile:v",
                                                                      "2", file("prores.mov")});
        ffmpeg(lavfi("testsrc2=size=1080x1920:rate=25") + QStringList{"-frames:v", "2"} + x264 +
               QStringList{file("portrait.mov")});
        // Red on the left, blue on the right, then stored turned either way.
        ffmpeg(lavfi("color=red:size=1920x1080:rate=25") +
               QStringList{"-vf", "drawbox=x=960:y=0:w=960:h=1080:color=blue:t=fill", "-frames:v",
                           "2"} +
               x264 + QStringList{file("upright.mov")});
        for (const char* degrees : {"90", "270"})
            ffmpeg({"-i", file("upright.mov"), "-c", "copy", "-metadata:s:v:0",
                    QString("rotate=") + degrees, file(QString("rotated%1.mov").arg(degrees))});
        // Tagged BT.709: read with any other matrix its green turns (13, 221, 3).
        ffmpeg(lavfi("color=0x00C000:size=640x360:rate=25") +
               QStringList{"-frames:v", "2", "-vf", "scale=out_color_matrix=bt709:out_range=tv",
                           "-colorspace", "bt709"} +
               x264 + QStringList{file("green709.mov")});
        ffmpeg(lavfi("testsrc2=size=640x360:rate=25") +
               QStringList{"-frames:v", "2", "-c:v", "libx265", "-x265-params", "log-level=error",
                           "-tag:v", "hvc1", file("hevc.mov")});
        ffmpeg(lavfi("color=green:size=500x500") +
               QStringList{"-frames:v", "1", file("cover.jpg")});
        ffmpeg(lavfi("sine=d=0.2") +
               QStringList{"-i", file("cover.jpg"), "-map", "0", "-map", "1", "-c:a", "libmp3lame",
                           "-c:v", "copy", "-disposition:v", "attached_pic", file("cover.mp3")});
        ffmpeg(lavfi("color=yellow:size=640x480") +
               QStringList{"-frames:v", "1", file("cover.png")});
        ffmpeg(lavfi("sine=d=0.2") + QStringList{"-i", file("cover.png"), "-map", "0", "-map", "1",
                                                 "-c:a", "aac", "-c:v", "copy", "-disposition:v",
                                                 "attached_pic", file("cover.m4a")});
        // Index first, so that a cut file opens but its frames are gone.
        ffmpeg(lavfi("testsrc2=size=1920x1080:rate=25") +
               QStringList{"-frames:v", "3", "-c:v", "prores_ks", "-movflags", "+faststart",
                           file("faststart.mov")});
        if (!error_->isEmpty()) return;
        truncate(file("prores.mov"), file("truncated.mov"), 2);
        truncate(file("faststart.mov"), file("truncated-faststart.mov"), 10);
        QFile text(file("notes.txt"));
        if (text.open(QIODevice::WriteOnly)) text.write("Not a movie at all.\nJust words.\n");
    }

    // Keeps the first 1/part of the file.
    static void truncate(const QString& from, const QString& to, int part) {
        QFile in(from);
        QFile out(to);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
            *error_ = "cannot copy " + from;
            return;
        }
        out.write(in.read(in.size() / part));
    }

    // Writes a PNG into the desktop's thumbnail cache of the current home.
    void putInCache(const QString& uri, const QString& folder, QImage image,
                    const QString& mtime = {}) {
        const QString dir = home_->cacheHome() + "/thumbnails/" + folder;
        QDir().mkpath(dir);
        if (!mtime.isNull()) image.setText("Thumb::MTime", mtime);
        const QString name =
            QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex() + ".png";
        ASSERT_TRUE(image.save(dir + "/" + name, "PNG"));
    }

    static QImage solid(int width, int height, QColor color) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }

    static QString mtimeOf(const QString& path) {
        return QString::number(QFileInfo(path).lastModified().toSecsSinceEpoch());
    }

    static bool near(QColor actual, QColor expected) {
        return std::abs(actual.red() - expected.red()) < 40 &&
               std::abs(actual.green() - expected.green()) < 40 &&
               std::abs(actual.blue() - expected.blue()) < 40;
    }

    std::unique_ptr<TempHome> home_;
    static QTemporaryDir* dir_;
    static QString* error_;
};

QTemporaryDir* ThumbnailTest::dir_ = nullptr;
QString* ThumbnailTest::error_ = nullptr;

TEST(ThumbnailSizing, MediaImagesGetAShorterSideOf300AndKeepTheirAspect) {
    EXPECT_EQ(Thumbnail::sizeForMediaImage({1920, 1080}), QSize(533, 300));
    EXPECT_EQ(Thumbnail::sizeForMediaImage({1080, 1920}), QSize(300, 533));
    EXPECT_EQ(Thumbnail::sizeForMediaImage({500, 500}), QSize(300, 300));
    EXPECT_EQ(Thumbnail::sizeForMediaImage({7, 7}), QSize(300, 300));
    EXPECT_EQ(Thumbnail::sizeForMediaImage({640, 480}), QSize(400, 300));
    EXPECT_FALSE(Thumbnail::sizeForMediaImage({0, 0}).isValid());
    EXPECT_FALSE(Thumbnail::sizeForMediaImage({-4, 10}).isValid());
    // A degenerate picture must not ask for gigabytes.
    EXPECT_EQ(Thumbnail::sizeForMediaImage({1, 100000}), QSize(300, 6000));
    EXPECT_EQ(Thumbnail::sizeForMediaImage({100000, 1}), QSize(6000, 300));
}

TEST(ThumbnailSizing, CachedThumbnailsAreStretchedOnlyWhenShorterThan300) {
    EXPECT_EQ(Thumbnail::sizeForCachedThumbnail({300, 169}), QSize(533, 300));
    EXPECT_EQ(Thumbnail::sizeForCachedThumbnail({169, 300}), QSize(169, 300));
    EXPECT_EQ(Thumbnail::sizeForCachedThumbnail({300, 300}), QSize(300, 300));
    EXPECT_EQ(Thumbnail::sizeForCachedThumbnail({128, 128}), QSize(300, 300));
    EXPECT_FALSE(Thumbnail::sizeForCachedThumbnail({0, 0}).isValid());
    EXPECT_EQ(Thumbnail::sizeForCachedThumbnail({300, 1}), QSize(6000, 300));
}

TEST_F(ThumbnailTest, MovieFramesAreScaledToAShorterSideOf300) {
    const QImage prores = Thumbnail::thumbnailImageWithPath(file("prores.mov"));
    EXPECT_EQ(prores.size(), QSize(533, 300));
    const QImage portrait = Thumbnail::thumbnailImageWithPath(file("portrait.mov"));
    EXPECT_EQ(portrait.size(), QSize(300, 533));
    const QImage hevc = Thumbnail::thumbnailImageWithPath(file("hevc.mov"));
    EXPECT_EQ(hevc.size(), QSize(533, 300));
}

TEST_F(ThumbnailTest, DisplayMatrixTurnsTheFrame) {
    const QImage upright = Thumbnail::thumbnailImageWithPath(file("upright.mov"));
    ASSERT_EQ(upright.size(), QSize(533, 300));
    EXPECT_TRUE(near(upright.pixelColor(60, 150), Qt::red));
    EXPECT_TRUE(near(upright.pixelColor(470, 150), Qt::blue));

    // ffmpeg 5.1 stores rotate=90 as a display matrix that turns the picture
    // a quarter counterclockwise (ffprobe: "rotation=90"; the ffmpeg command
    // line shows the right side on top), and rotate=270 the other way.
    const QImage left = Thumbnail::thumbnailImageWithPath(file("rotated90.mov"));
    ASSERT_EQ(left.size(), QSize(300, 533));
    EXPECT_TRUE(near(left.pixelColor(150, 60), Qt::blue))
        << left.pixelColor(150, 60).name().toStdString();
    EXPECT_TRUE(near(left.pixelColor(150, 470), Qt::red));

    const QImage right = Thumbnail::thumbnailImageWithPath(file("rotated270.mov"));
    ASSERT_EQ(right.size(), QSize(300, 533));
    EXPECT_TRUE(near(right.pixelColor(150, 60), Qt::red));
    EXPECT_TRUE(near(right.pixelColor(150, 470), Qt::blue));
}

TEST_F(ThumbnailTest, ColoursFollowTheStreamsMatrix) {
    const QImage image = Thumbnail::thumbnailImageWithPath(file("green709.mov"));
    ASSERT_EQ(image.size(), QSize(533, 300));
    const QColor centre = image.pixelColor(266, 150);
    EXPECT_LE(centre.red(), 8);
    EXPECT_NEAR(centre.green(), 192, 10);
    EXPECT_LE(centre.blue(), 8);
}

TEST_F(ThumbnailTest, EmbeddedArtworkWinsOverTheFrame) {
    const QImage mp3 = Thumbnail::thumbnailImageWithPath(file("cover.mp3"));
    ASSERT_EQ(mp3.size(), QSize(300, 300));
    EXPECT_TRUE(near(mp3.pixelColor(150, 150), QColor(0, 128, 0)));

    const QImage m4a = Thumbnail::thumbnailImageWithPath(file("cover.m4a"));
    ASSERT_EQ(m4a.size(), QSize(400, 300));
    EXPECT_TRUE(near(m4a.pixelColor(200, 150), Qt::yellow));
}

TEST_F(ThumbnailTest, UnusableFilesGiveNoImage) {
    for (const char* name :
         {"truncated.mov", "truncated-faststart.mov", "notes.txt", "missing.mov"})
        EXPECT_TRUE(Thumbnail::thumbnailImageWithPath(file(name)).isNull()) << name;
    EXPECT_TRUE(Thumbnail::thumbnailImageWithPath(dir_->path()).isNull());
    EXPECT_TRUE(Thumbnail::thumbnailImageWithPath(QString()).isNull());
}

TEST_F(ThumbnailTest, DesktopCacheWinsOverTheMovie) {
    const QString movie = file("prores.mov");
    putInCache("file://" + movie, "large", solid(300, 169, Qt::magenta), mtimeOf(movie));
    const QImage image = Thumbnail::thumbnailImageWithPath(movie);
    ASSERT_EQ(image.size(), QSize(533, 300));
    EXPECT_EQ(image.pixelColor(266, 150), QColor(Qt::magenta));
}

TEST_F(ThumbnailTest, CacheKeyIsTheEscapedUriAndLargestFolderComesFirst) {
    const QString movie = file("my clip #1.mov");
    ASSERT_TRUE(QFile::copy(file("portrait.mov"), movie));
    const QString uri = "file://" + dir_->path() + "/my%20clip%20%231.mov";
    putInCache(uri, "normal", solid(72, 128, Qt::cyan));
    putInCache(uri, "x-large", solid(288, 512, Qt::magenta));
    // Fitted into 300 x 300 first: 169 x 300, already 300 high.
    const QImage image = Thumbnail::thumbnailImageWithPath(movie);
    EXPECT_EQ(image.size(), QSize(169, 300));
    EXPECT_EQ(image.pixelColor(80, 150), QColor(Qt::magenta));
    QFile::remove(movie);
}

TEST_F(ThumbnailTest, StaleOrBrokenCacheEntriesAreIgnored) {
    const QString movie = file("hevc.mov");
    putInCache("file://" + movie, "xx-large", solid(400, 225, Qt::magenta), "12345");
    const QString dir = home_->cacheHome() + "/thumbnails/large";
    QDir().mkpath(dir);
    QFile broken(
        dir + "/" +
        QCryptographicHash::hash(("file://" + movie).toUtf8(), QCryptographicHash::Md5).toHex() +
        ".png");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG garbage");
    broken.close();

    const QImage image = Thumbnail::thumbnailImageWithPath(movie);
    ASSERT_EQ(image.size(), QSize(533, 300));
    EXPECT_NE(image.pixelColor(266, 150), QColor(Qt::magenta));
}

TEST_F(ThumbnailTest, CompletionRunsOnceOnTheBackgroundPool) {
    struct Result {
        std::atomic_int calls{0};
        std::promise<std::pair<QImage, std::thread::id>> promise;
    };
    for (const QString& path : {file("cover.mp3"), file("missing.mov")}) {
        auto result = std::make_shared<Result>();
        auto future = result->promise.get_future();
        Thumbnail::thumbnailWithPath(path, [result](const QImage& image) {
            if (result->calls.fetch_add(1) == 0)
                result->promise.set_value({image, std::this_thread::get_id()});
        });
        ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        Dispatch::waitForGlobal();
        const auto [image, thread] = future.get();
        EXPECT_EQ(result->calls.load(), 1);
        EXPECT_NE(thread, std::this_thread::get_id());
        EXPECT_EQ(image.isNull(), path.endsWith("missing.mov")) << path.toStdString();
    }
}

TEST_F(ThumbnailTest, SavesJpegAtomically) {
    const QImage image = solid(533, 300, Qt::darkGreen);
    const QString path = home_->path() + "/thumb.jpg";
    ASSERT_TRUE(Thumbnail::saveJPEGWithPath(image, path));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage read = reader.read();
    EXPECT_EQ(read.size(), QSize(533, 300));
    EXPECT_TRUE(near(read.pixelColor(10, 10), Qt::darkGreen));

    // Replacing leaves a whole new file and no temporary behind.
    ASSERT_TRUE(Thumbnail::saveJPEGWithPath(solid(10, 20, Qt::white), path));
    EXPECT_EQ(QImage(path).size(), QSize(10, 20));
    EXPECT_EQ(QDir(home_->path()).entryList({"thumb*"}, QDir::Files), QStringList{"thumb.jpg"});

    EXPECT_FALSE(Thumbnail::saveJPEGWithPath(image, home_->path() + "/no/such/folder/t.jpg"));
    EXPECT_FALSE(Thumbnail::saveJPEGWithPath(QImage(), home_->path() + "/null.jpg"));
    EXPECT_FALSE(QFileInfo::exists(home_->path() + "/null.jpg"));
}

}  // namespace
