#pragma once

#include <map>
#include <mutex>
#include <vector>

#include <QJsonObject>
#include <QString>

// Every request the service received, per endpoint, with its method, path,
// headers and body, for tests to inspect; and when it came in and when its
// answer was ready (microseconds of the system clock, comparable with a
// client's on the same machine), so a benchmark can tell the service's time
// from its client's.
class RequestLog {
  public:
    struct Entry {
        quint64 sequence = 0;  // order of arrival over every endpoint, from 1
        qint64 receivedUs = 0;
        qint64 answeredUs = 0;  // 0: no answer yet (or the fault dropped it)
        QString method;
        QString path;
        QString remoteAddress;
        QString localAddress;
        QJsonObject headers;  // name -> value; repeated headers joined with ", "
        QByteArray body;
    };

    // Stamps the entry's arrival and sequence; answers the sequence.
    quint64 record(const QString& endpoint, Entry entry);
    void answered(const QString& endpoint, quint64 sequence);
    static qint64 nowUs();
    void clear();
    // {"endpoint": {"count": N, "requests": [...]}} for one endpoint or all.
    QJsonObject toJson(const QString& endpoint = {}) const;

  private:
    static constexpr qsizetype kMaxBody = 256 * 1024;
    mutable std::mutex mutex_;
    std::map<QString, std::vector<Entry>> entries_;
    quint64 sequence_ = 0;
};
