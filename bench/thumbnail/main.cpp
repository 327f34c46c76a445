// Times the thumbnail of a 3840x2160 ProRes movie made in-process (frame,
// scaling, JPEG file) against `ffmpeg -i IN -frames:v 1 -vf scale=-2:300
// OUT.jpg` on the same file in the same run, and prints the ratio.
//
//   bench_thumbnail [--runs N] [--keep DIR]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "export/Thumbnail.h"

namespace {

constexpr double kTarget = 0.7;

bool runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start("ffmpeg", QStringList{"-nostdin", "-v", "error", "-y"} + arguments);
    return process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 9;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
        if (args[i] == "--keep") keep = args[i + 1];
    }

    QTemporaryDir dir;
    // An empty cache folder, so the desktop's cache cannot answer for the movie.
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    const QString movie = dir.filePath("uhd-prores.mov");
    std::printf("making %s ...\n", qPrintable(movie));
    if (!runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=25", "-frames:v", "3",
                    "-c:v", "prores_ks", "-profile:v", "2", movie})) {
        std::fprintf(stderr, "bench_thumbnail: cannot make the ProRes movie with ffmpeg\n");
        return 1;
    }

    const QString ours = dir.filePath("ours.jpg");
    const QString theirs = dir.filePath("ffmpeg.jpg");
    auto inProcess = [&]() {
        const QImage image = Thumbnail::thumbnailImageWithPath(movie);
        return Thumbnail::saveJPEGWithPath(image, ours) ? image.size() : QSize();
    };
    auto command = [&]() {
        return runFfmpeg({"-i", movie, "-frames:v", "1", "-vf", "scale=-2:300", theirs});
    };

    // One warm-up each, so both read the movie from the page cache.
    const QSize size = inProcess();
    if (!size.isValid() || !command()) {
        std::fprintf(stderr, "bench_thumbnail: a warm-up run failed\n");
        return 1;
    }

    std::vector<double> oursMs, theirsMs;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        inProcess();
        oursMs.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        command();
        theirsMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    const double a = median(oursMs);
    const double b = median(theirsMs);
    std::printf("thumbnail %dx%d of a 3840x2160 ProRes 422 movie, %d runs each\n", size.width(),
                size.height(), runs);
    std::printf("in-process (frame, scale, JPEG file): median %.1f ms\n", a);
    std::printf("ffmpeg -frames:v 1 -vf scale=-2:300:  median %.1f ms\n", b);
    std::printf("ratio %.2f (target at most %.2f): %s\n", a / b, kTarget,
                a / b <= kTarget ? "met" : "NOT met");

    if (!keep.isEmpty()) {
        QDir().mkpath(keep);
        QFile::copy(ours, keep + "/ours.jpg");
        QFile::copy(theirs, keep + "/ffmpeg.jpg");
    }
    return 0;
}
