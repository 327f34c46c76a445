#include "ShareTimeline.h"

#include <algorithm>
#include <utility>

#include <QFile>

ShareTimeline::ShareTimeline(const QString& file) {
    if (!file.isEmpty()) out_ = std::fopen(QFile::encodeName(file).constData(), "w");
}

ShareTimeline::~ShareTimeline() {
    if (out_) std::fclose(out_);
}

void ShareTimeline::add(size_t share, qint64 from, qint64 to,
                        const std::vector<const ServiceReplay::Logged*>& phase,
                        const std::vector<SaveWatcher::Save>& landed) {
    if (!out_) return;
    std::vector<std::pair<qint64, QString>> moments;
    for (const auto* logged : phase) {
        const QString name = logged->request.method + ' ' + logged->endpoint;
        moments.push_back({logged->request.receivedUs, name + " arrives"});
        if (logged->request.answeredUs > 0)
            moments.push_back({logged->request.answeredUs, name + " answered"});
    }
    for (const auto& save : landed) {
        if (save.startUs > 0) moments.push_back({save.startUs, QStringLiteral("save starts")});
        moments.push_back({save.landedUs, QStringLiteral("save lands")});
    }
    moments.push_back({to, QStringLiteral("end")});
    std::stable_sort(moments.begin(), moments.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::fprintf(out_, "share %zu from %lld\n", share, static_cast<long long>(from));
    for (const auto& [at, what] : moments)
        std::fprintf(out_, "  %8.2f  %s\n", double(at - from) / 1000.0, qPrintable(what));
}
