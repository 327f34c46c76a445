#include "RequestLog.h"

#include <chrono>

#include <QJsonArray>

qint64 RequestLog::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

quint64 RequestLog::record(const QString& endpoint, Entry entry) {
    if (entry.body.size() > kMaxBody) entry.body.truncate(kMaxBody);
    entry.receivedUs = nowUs();
    std::lock_guard lock(mutex_);
    entry.sequence = ++sequence_;
    const quint64 sequence = entry.sequence;
    entries_[endpoint].push_back(std::move(entry));
    return sequence;
}

void RequestLog::answered(const QString& endpoint, quint64 sequence) {
    const qint64 now = nowUs();
    std::lock_guard lock(mutex_);
    auto list = entries_.find(endpoint);
    if (list == entries_.end()) return;  // cleared meanwhile
    // Answers come in nearly the order of arrival: search from the end.
    for (auto entry = list->second.rbegin(); entry != list->second.rend(); ++entry)
        if (entry->sequence == sequence) {
            entry->answeredUs = now;
            return;
        }
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

QJsonObject RequestLog::toJson(const QString& endpoint) const {
    std::lock_guard lock(mutex_);
    QJsonObject out;
    for (const auto& [name, list] : entries_) {
        if (!endpoint.isEmpty() && name != endpoint) continue;
        QJsonArray requests;
        for (const Entry& e : list)
            requests.append(QJsonObject{{QStringLiteral("method"), e.method},
                                        {QStringLiteral("path"), e.path},
                                        {QStringLiteral("remoteaddress"), e.remoteAddress},
                                        {QStringLiteral("localaddress"), e.localAddress},
                                        {QStringLiteral("headers"), e.headers},
                                        {QStringLiteral("body"), QString::fromUtf8(e.body)},
                                        {QStringLiteral("sequence"), qint64(e.sequence)},
                                        {QStringLiteral("received"), e.receivedUs},
                                        {QStringLiteral("answered"), e.answeredUs}});
        out.insert(name, QJsonObject{{QStringLiteral("count"), static_cast<qint64>(list.size())},
                                     {QStringLiteral("requests"), requests}});
    }
    if (!endpoint.isEmpty() && !out.contains(endpoint))
        out.insert(endpoint, QJsonObject{{QStringLiteral("count"), 0},
                                         {QStringLiteral("requests"), QJsonArray{}}});
    return out;
}
