#pragma once

#include <map>
#include <mutex>
#include <vector>

#include <QJsonObject>
#include <QString>

// Every request the service received, per endpoint, with its method, path,
// headers and body, for tests to inspect.
class RequestLog {
  public:
    struct Entry {
        QString method;
        QString path;
        QString remoteAddress;
        QString localAddress;
        QJsonObject headers;  // name -> value; repeated headers joined with ", "
        QByteArray body;
    };

    void record(const QString& endpoint, Entry entry);
    void clear();
    // {"endpoint": {"count": N, "requests": [...]}} for one endpoint or all.
    QJsonObject toJson(const QString& endpoint = {}) const;

  private:
    static constexpr qsizetype kMaxBody = 256 * 1024;
    mutable std::mutex mutex_;
    std::map<QString, std::vector<Entry>> entries_;
};
