#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/QVLog.h"
#include "support/ChildMain.h"
#include "support/Wait.h"
#include "ui/QVFinderMenu.h"
#include "ui/kit/QVLumoMenu.h"

// GIO reads its application database once per process, so each prepared
// database is looked at by a child started with XDG_DATA_HOME and
// XDG_CONFIG_HOME pointing at it.

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QJsonArray describe(QVLumoMenu* menu) {
    QJsonArray out;
    for (QAction* item : menu->actions()) {
        if (item->isSeparator()) {
            out.append("-");
            continue;
        }
        out.append(QJsonObject{{"title", item->text()},
                               {"app", QVLumoMenu::representedObject(item).toString()},
                               {"enabled", item->isEnabled()},
                               {"action", QVLumoMenu::actionName(item)}});
    }
    return out;
}

struct Database {
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString apps() const { return root() + "/data/applications"; }
    QString log() const { return root() + "/opened.log"; }

    // An application that records which program opened which file.
    void addApplication(const QString& id, const QString& name, const QString& types) {
        const QString recorder = root() + "/record";
        if (!QFile::exists(recorder)) {
            writeFile(recorder, "#!/bin/sh\nprintf '%s %s\\n' \"$2\" \"$3\" >> \"$1\"\n");
            QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        writeFile(apps() + "/" + id, QString("[Desktop Entry]\nType=Application\nName=%1\n"
                                             "Exec=%2 %3 %4 %f\nMimeType=%5\n")
                                         .arg(name, recorder, log(), id, types)
                                         .toUtf8());
    }
    void setDefault(const QString& type, const QString& id) {
        writeFile(root() + "/config/mimeapps.list",
                  QString("[Default Applications]\n%1=%2\n").arg(type, id).toUtf8());
    }
    QString clip() {
        const QString path = root() + "/media/clip.mov";
        writeFile(path, QByteArray(64, '\0'));
        return path;
    }

    QJsonObject run(const QStringList& args) {
        QProcess child;
        ChildMain::setUp(child, "finderMenu", args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root());
        env.insert("XDG_DATA_HOME", root() + "/data");
        env.insert("XDG_CONFIG_HOME", root() + "/config");
        env.insert("XDG_CONFIG_DIRS", root() + "/no-system-config");
        env.insert("XDG_DATA_DIRS", "/usr/share");  // the MIME database, no other apps' lists
        for (const char* name :
             {"XDG_CURRENT_DESKTOP", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        env.insert("GIO_USE_VFS", "local");
        env.insert("TSAN_OPTIONS", env.value("TSAN_OPTIONS") + " exitcode=0");
        child.setProcessEnvironment(env);
        child.start();
        EXPECT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(child.readAllStandardOutput()).object();
    }
};

QStringList titles(const QJsonArray& menu) {
    QStringList out;
    for (const auto& entry : menu)
        out << (entry.isString() ? entry.toString() : entry.toObject()["title"].toString());
    return out;
}

}  // namespace

// Prints the Open With menu of argv[0]; with a second argument, chooses
// the item of that title (and "Other…" picks argv[2] as the application).
RELAYDOCK_CHILD_MAIN(finderMenu) {
    if (argc < 1) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "finder-menu-child";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    const QString path = QString::fromLocal8Bit(argv[0]);
    auto finder = QVFinderMenu::finderMenuWithPath(path);
    if (!finder) {
        std::fputs("{\"missing\":true}", stdout);
        return 0;
    }
    std::unique_ptr<QVLumoMenu> menu(finder->openWithMenu());
    QJsonObject report{{"menu", describe(menu.get())}};
    if (argc >= 2) {
        const QString choice = QString::fromLocal8Bit(argv[1]);
        const QString other = argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QString();
        QVFinderMenu::setApplicationChooser(
            [other](QWidget*, const QString& title, const QString& prompt, auto completion) {
                std::fprintf(stderr, "chooser %s / %s\n", qPrintable(title), qPrintable(prompt));
                completion(other);
            });
        for (QAction* item : menu->actions())
            if (item->text() == choice) item->trigger();
        QVLog::Capture log;
        finder->openWithApplicationSelected(menu.get());  // not an item
        QAction bare("bare");
        finder->openWithApplicationSelected(&bare);  // no application
        report["log"] = QJsonArray::fromStringList(log.lines());
    }
    std::fputs(QJsonDocument(report).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

TEST(QVFinderMenuTest, DefaultFirstThenTenCandidatesWithRepeatedNamesToldApart) {
    Database db;
    // Twelve candidates; two share a name, and one is the default.
    for (int i = 0; i < 12; ++i)
        db.addApplication(QString("app%1.desktop").arg(i, 2, 10, QChar('0')),
                          QString("Player %1").arg(i, 2, 10, QChar('0')), "video/quicktime;");
    db.addApplication("twin.desktop", "Player 00", "video/quicktime;");
    db.addApplication("texts.desktop", "Texts", "text/plain;");
    db.setDefault("video/quicktime", "app03.desktop");
    const QString clip = db.clip();

    const QJsonObject report = db.run({clip});
    const QJsonArray menu = report["menu"].toArray();
    const QStringList shown = titles(menu);
    ASSERT_GE(shown.size(), 4) << QJsonDocument(report).toJson().toStdString();
    EXPECT_EQ(shown.first(), "Player 03 (default)");
    EXPECT_EQ(menu[0].toObject()["app"].toString(), "app03.desktop");
    EXPECT_EQ(shown[1], "-");
    EXPECT_EQ(shown.last(), QString("Other\u2026"));
    EXPECT_EQ(shown[shown.size() - 2], "-");
    // Ten candidates at most between the separators, none of other types.
    QStringList candidates = shown.mid(2, shown.size() - 4);
    EXPECT_EQ(candidates.size(), 10) << shown.join(" | ").toStdString();
    EXPECT_FALSE(shown.contains("Texts"));
    EXPECT_TRUE(candidates.contains("Player 03"));
    EXPECT_EQ(candidates.removeDuplicates(), 0);
    for (const auto& entry : menu)
        if (entry.isObject() && entry.toObject()["title"] != QString("Other\u2026")) {
            EXPECT_EQ(entry.toObject()["action"].toString(), "openWithApplicationSelected:");
            EXPECT_TRUE(entry.toObject()["app"].toString().endsWith(".desktop"));
        }
}

TEST(QVFinderMenuTest, SameNameIsFollowedByTheDesktopId) {
    Database db;
    db.addApplication("first.desktop", "Viewer", "video/quicktime;");
    db.addApplication("second.desktop", "Viewer", "video/quicktime;");
    db.setDefault("video/quicktime", "second.desktop");
    const QJsonObject report = db.run({db.clip()});
    const QStringList shown = titles(report["menu"].toArray());
    EXPECT_EQ(shown.first(), "Viewer (default)");
    // Listed again under its plain name; the other one carries its id.
    const QStringList candidates = shown.mid(2, 2);
    EXPECT_TRUE(candidates.contains("Viewer")) << shown.join(" | ").toStdString();
    EXPECT_TRUE(candidates.contains("Viewer (first.desktop)") ||
                candidates.contains("Viewer (second.desktop)"))
        << shown.join(" | ").toStdString();
}

TEST(QVFinderMenuTest, NoDefaultGivesNoneAndNoCandidatesGiveAnEmptyMenu) {
    Database db;
    db.addApplication("viewer.desktop", "Viewer", "video/quicktime;");
    QJsonObject report = db.run({db.clip()});
    QJsonArray menu = report["menu"].toArray();
    // Without a default: "<None>" (disabled), a separator, "Other…".
    ASSERT_EQ(titles(menu), (QStringList{"<None>", "-", QString("Other\u2026")}));
    EXPECT_FALSE(menu[0].toObject()["enabled"].toBool());

    Database empty;
    report = empty.run({empty.clip()});
    EXPECT_TRUE(report["menu"].toArray().isEmpty());

    report = empty.run({empty.root() + "/nothing.mov"});
    EXPECT_TRUE(report["missing"].toBool());
}

TEST(QVFinderMenuTest, ChoosingAnItemOrAnotherApplicationOpensTheFileWithIt) {
    Database db;
    db.addApplication("alpha.desktop", "Alpha", "video/quicktime;");
    db.addApplication("beta.desktop", "Beta", "video/quicktime;");
    db.setDefault("video/quicktime", "alpha.desktop");
    const QString clip = db.clip();
    QJsonObject report = db.run({clip, "Beta"});
    const QStringList log = report["log"].toVariant().toStringList();
    EXPECT_TRUE(log.filter("Sender should be nsmenuitem").size() == 1)
        << log.join("\n").toStdString();
    EXPECT_TRUE(log.filter("Could get app path from nsmenuitem represented object").size() == 1);

    // "Other…" launches what the chooser picked (here a desktop file by path).
    db.run({clip, QString("Other\u2026"), db.apps() + "/alpha.desktop"});
    ASSERT_TRUE(waitUntil([&] {
        QFile file(db.log());
        if (!file.open(QIODevice::ReadOnly)) return false;
        const QString text = QString::fromUtf8(file.readAll());
        return text.contains("beta.desktop " + clip) && text.contains("alpha.desktop " + clip);
    }));
}
