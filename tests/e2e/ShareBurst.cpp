#include "ShareBurst.h"

#include <QJsonDocument>

#include "support/Wait.h"

bool ShareBurst::Outcome::acknowledged() const {
    const QJsonObject make = step(QStringLiteral("make"));
    return !make.isEmpty() && make.value(QStringLiteral("error")).toInt() == 0 &&
           make.contains(QStringLiteral("result"));
}

QJsonObject ShareBurst::Outcome::step(const QString& name) const {
    for (const auto& line : lines)
        if (line.value(QStringLiteral("step")).toString() == name) return line;
    return {};
}

QStringList ShareBurst::Outcome::writtenFiles() const {
    QStringList files;
    for (const auto& line : lines)
        if (line.value(QStringLiteral("step")).toString() == QLatin1String("write") &&
            line.contains(QStringLiteral("bytes")))
            files << line.value(QStringLiteral("file")).toString();
    return files;
}

ShareBurst::ShareBurst(const QString& socketPath, const QString& movie)
    : socketPath_(socketPath), movie_(movie) {}

ShareBurst::~ShareBurst() {
    for (auto& run : runs_) {
        run->startTimer.stop();
        if (run->process.state() != QProcess::NotRunning) {
            run->process.kill();
            run->process.waitForFinished(5000);
        }
    }
}

void ShareBurst::add(const Share& share) {
    auto run = std::make_unique<Run>();
    run->share = share;
    run->outcome.name = share.name;
    runs_.push_back(std::move(run));
}

void ShareBurst::start() {
    for (auto& owned : runs_) {
        Run* run = owned.get();
        run->startTimer.setSingleShot(true);
        QObject::connect(&run->startTimer, &QTimer::timeout, [this, run] { launch(*run); });
        run->startTimer.start(run->share.startAfterMs);
    }
}

void ShareBurst::stopStarting() {
    for (auto& run : runs_) run->startTimer.stop();
}

void ShareBurst::launch(Run& run) {
    run.outcome.started = true;
    QObject::connect(&run.process, &QProcess::readyReadStandardOutput,
                     [this, &run] { readLines(run); });
    QObject::connect(&run.process, &QProcess::finished, [this, &run](int exitCode) {
        readLines(run);
        run.outcome.exitCode = exitCode;
        run.outcome.finished = true;
    });
    QObject::connect(&run.process, &QProcess::errorOccurred, [&run](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) run.outcome.finished = true;
    });
    run.process.setProgram(QStringLiteral(RELAYDOCK_BIN_DIR "/share-client"));
    // A short reply timeout: an editor whose agent died gives up soon.
    run.process.setArguments(QStringList{"--socket", socketPath_, "--timeout", "15", "share",
                                         "--name", run.share.name, "--media", movie_} +
                             run.share.extraArgs);
    run.process.setProcessChannelMode(QProcess::SeparateChannels);
    run.process.start();
}

void ShareBurst::readLines(Run& run) {
    run.pending += run.process.readAllStandardOutput();
    for (qsizetype end = run.pending.indexOf('\n'); end >= 0; end = run.pending.indexOf('\n')) {
        const QByteArray line = run.pending.left(end).trimmed();
        run.pending.remove(0, end + 1);
        if (line.isEmpty()) continue;
        const bool before = run.outcome.acknowledged();
        run.outcome.lines << QJsonDocument::fromJson(line).object();
        if (!before && run.outcome.acknowledged()) {
            ++acknowledged_;
            if (onAcknowledged_) onAcknowledged_(acknowledged_);
        }
    }
}

bool ShareBurst::waitForClients(int timeoutMs) {
    return waitUntil(
        [this] {
            for (const auto& run : runs_)
                if (run->outcome.started && !run->outcome.finished) return false;
            return true;
        },
        timeoutMs);
}
