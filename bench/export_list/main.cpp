// Saving and loading the export list against Python's plistlib on the same
// list, in the same run.
//
//   bench_export_list [--sizes 1000,10000,100000] [--runs 3]
//
// For each size: "serialise" makes the file's bytes for a list whose items
// were all changed since the last save (nothing reused), "save" writes the
// list after one item changed (the common case: every status change saves),
// "save cold" writes after every item changed, both atomically with fsync;
// "load" reads and rebuilds the items. plistlib's dumps and loads run on the
// very file this program wrote. Each figure is the best of the runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include <plist/plist.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "export/ExportListReader.h"
#include "export/QVExportItemManager.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "service/QVConnection.h"

namespace {

double bestMs(int runs, const std::function<void()>& setUp, const std::function<void()>& body) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        if (setUp) setUp();
        const auto start = std::chrono::steady_clock::now();
        body();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

QVariantMap metaData(int i) {
    // About 1.3 kB of stored text per item, like a real share's metadata.
    return {{"com.apple.quicktime.description",
             QString("Interview take %1, exterior, late afternoon light; director's notes follow. ")
                 .arg(i)
                 .repeated(3)},
            {"com.apple.quicktime.keywords", "interview,director,exterior,b-roll"},
            {"com.apple.quicktime.author", "Relaydock Bench"},
            {"com.apple.proapps.share.episodeID", QString("EP-%1").arg(i)},
            {"com.apple.proapps.share.episodeNumber", i},
            {"com.apple.proapps.share.id", QString("4C1F0E7A-%1").arg(i, 8, 10, QChar('0'))},
            {"com.apple.proapps.studio.reel", "A001"},
            {"com.apple.proapps.studio.scene", "12"},
            {"com.apple.proapps.share.duration", 12.5}};
}

struct PythonTimes {
    double dumps = -1, loads = -1;
};

PythonTimes plistlibTimes(const QString& path, int runs) {
    const QString script = QStringLiteral(R"PY(
import json, plistlib, sys, time
data = open(sys.argv[1], 'rb').read()
runs = int(sys.argv[2])
best_load = best_dump = float('inf')
for _ in range(runs):
    t = time.perf_counter(); items = plistlib.loads(data); best_load = min(best_load, time.perf_counter() - t)
for _ in range(runs):
    t = time.perf_counter(); plistlib.dumps(items); best_dump = min(best_dump, time.perf_counter() - t)
print(json.dumps({"loads": best_load * 1000, "dumps": best_dump * 1000}))
)PY");
    QProcess python;
    python.start("python3", {"-c", script, path, QString::number(runs)});
    PythonTimes times;
    if (!python.waitForFinished(-1) || python.exitCode() != 0) return times;
    const QJsonObject result = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    times.dumps = result.value("dumps").toDouble(-1);
    times.loads = result.value("loads").toDouble(-1);
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes{1000, 10000, 100000};
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--sizes") {
            sizes.clear();
            for (const QString& s : args[i + 1].split(',')) sizes << s.toInt();
        } else if (args[i] == "--runs") {
            runs = std::max(1, args[i + 1].toInt());
        }
    }

    QTemporaryDir dir;
    auto library = QVLibrary::libraryWithName("Bench", "", 0, false, dir.path() + "/Bench.lib",
                                              QString(), std::make_shared<QVConnection>());
    library->setDbName("bench");
    auto project = QVProject::projectWithID("p1", "Project", "bench", 0);
    library->setProjects({project});
    QVLibraryManager::sharedManager().setLibraries({library});
    auto location = QVUploadLocation::uploadLocationWithDictionary(QVariantMap{
        {"mediapath", "Media/Master/2024/01/02"}, {"path", "2024/01/02"}, {"dbname", "bench"}});

    std::printf("%8s %8s | %10s %10s %10s %10s | %10s %10s | %9s %9s\n", "items", "MB", "serialise",
                "save", "save cold", "load", "py dumps", "py loads", "dumps/ser", "loads/ld");
    for (int size : sizes) {
        const QString folder = dir.path() + QString("/list-%1").arg(size);
        QVExportItemManager manager(folder);
        QVExportItemList items;
        items.reserve(size);
        for (int i = 0; i < size; ++i) {
            auto item =
                QVExportItem::exportItemWithName(QString("Clip %1").arg(i), metaData(i), library,
                                                 project, 1, location, QString(), false);
            item->setThumbnailPath(dir.path() + QString("/Caches/%1.jpg").arg(i));
            item->setAssetID(QString("asset-%1").arg(i));
            items << item;
        }
        manager.setExportItems(items);
        int tick = 0;
        auto touchAll = [&] {
            ++tick;
            for (const auto& item : items) item->setExportStatus(tick % 8);
        };
        qsizetype bytes = 0;
        const double serialise =
            bestMs(runs, touchAll, [&] { bytes = manager.serializedList().size(); });
        const double cold = bestMs(runs, touchAll, [&] { manager.save(); });
        const double warm = bestMs(
            runs,
            [&] {
                ++tick;
                items[tick % size]->setExportStatus(tick % 8);
            },
            [&] { manager.save(); });
        const double load = bestMs(runs, nullptr, [&] {
            QVExportItemManager reader(folder);
            reader.loadExportItems();
            if (reader.count() != size) std::fprintf(stderr, "load lost items\n");
        });
        if (qEnvironmentVariableIsSet("BENCH_PARSE_ONLY")) {
            const double parse =
                bestMs(runs, nullptr, [&] { PropertyList::readFile(manager.listFilePath()); });
            QFile f(manager.listFilePath());
            f.open(QIODevice::ReadOnly);
            const QByteArray data = f.readAll();
            const double one =
                bestMs(runs, nullptr, [&] { ExportListReader::readArray(data, nullptr, 1); });
            const double two =
                bestMs(runs, nullptr, [&] { ExportListReader::readArray(data, nullptr, 2); });
            const double scan =
                bestMs(runs, nullptr, [&] { ExportListReader::elementRanges(data); });
            const double raw = bestMs(runs, nullptr, [&] {
                plist_t root = nullptr;
                plist_from_xml(data.constData(), uint32_t(data.size()), &root);
                plist_free(root);
            });
            std::printf("libplist tree only %.1fms\n", raw);
            std::printf(
                "parse only: %.1fms  reader 1 thread %.1fms  2 threads %.1fms  scan %.1fms\n",
                parse, one, two, scan);
        }
        const PythonTimes py = plistlibTimes(manager.listFilePath(), runs);
        std::printf(
            "%8d %8.1f | %8.1fms %8.1fms %8.1fms %8.1fms | %8.1fms %8.1fms | %8.2fx %8.2fx\n", size,
            bytes / 1e6, serialise, warm, cold, load, py.dumps, py.loads, py.dumps / serialise,
            py.loads / load);
        std::printf("%8s %8s   save/dumps ratio (one item changed): %.2fx, cold save: %.2fx\n", "",
                    "", py.dumps / warm, py.dumps / cold);
        std::fflush(stdout);
    }
    return 0;
}
