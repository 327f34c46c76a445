#pragma once

#include <map>
#include <mutex>
#include <optional>

#include <QJsonObject>
#include <QString>
#include <QStringList>

// Faults injected per endpoint. A fault stays until cleared, or answers a
// given number of requests and then clears itself.
class FaultTable {
  public:
    struct Fault {
        QString kind;  // error, nomessage, empty, html, array, plist, delay, drop, 401, 500
        QString arg;
        int remaining = 0;  // 0: until cleared
    };

    static const QStringList& endpoints();
    static const QStringList& kinds();

    // "ENDPOINT=KIND[:ARG][@TIMES]", e.g. "create=error:35" or "upload=drop@1".
    bool addSpec(const QString& specifier, QString* error);
    // Kind "none" clears the endpoint's fault.
    bool set(const QString& endpoint, const QString& kind, const QString& arg, int times,
             QString* error);
    void clear();
    // The fault that applies to one request of the endpoint, counting it.
    std::optional<Fault> take(const QString& endpoint);
    QJsonObject toJson() const;

  private:
    mutable std::mutex mutex_;
    std::map<QString, Fault> faults_;
};
