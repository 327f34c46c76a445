#include "RequestLog.h"

#include <QJsonArray>

void RequestLog::record(const QString& endpoint, Entry entry) {
    if (entry.body.size() > kMaxBody) entry.body.truncate(kMaxBody);
    std::lock_guard lock(mutex_);
    entries_[endpoint].push_back(std::move(entry));
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
                                        {QStringLiteral("body"), QString::fromUtf8(e.body)}});
        out.insert(name, QJsonObject{{QStringLiteral("count"), static_cast<qint64>(list.size())},
                                     {QStringLiteral("requests"), requests}});
    }
    if (!endpoint.isEmpty() && !out.contains(endpoint))
        out.insert(endpoint, QJsonObject{{QStringLiteral("count"), 0},
                                         {QStringLiteral("requests"), QJsonArray{}}});
    return out;
}
