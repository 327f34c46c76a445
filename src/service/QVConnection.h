#pragma once

#include <memory>
#include <mutex>

#include <QString>

// Where a library's Tessel service is reached and with which credentials.
// The start-up synchronisation with the local service rewrites the
// credentials and port in place while other threads may read them, so every
// accessor takes the record's lock.
class QVConnection {
  public:
    QVConnection() = default;
    // Null when address is null; the other values are stored as given.
    static std::shared_ptr<QVConnection> connectionWithAddress(const QString& address, qint64 port,
                                                               const QString& userID,
                                                               const QString& password);

    QString address() const;
    void setAddress(const QString& address);
    qint64 port() const;
    void setPort(qint64 port);
    QString userID() const;
    void setUserID(const QString& userID);
    QString password() const;
    void setPassword(const QString& password);

    // "corvane://user@address:port", or "None" without address or user; the
    // password never appears.
    QString description() const;

  private:
    mutable std::mutex mutex_;
    QString address_ = QStringLiteral("127.0.0.1");
    qint64 port_ = 8080;
    QString userID_;
    QString password_;
};
