#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The least an HTTP/1.1 client can do: one blocking loopback connection kept
// alive, each request sent in a single write, each answer read by its
// Content-Length; a connection the server closed is opened again once. The
// floor of a share's requests is timed with it.
class KeptAliveClient {
  public:
    struct Answer {
        int status = 0;
        QByteArray body;
    };
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    KeptAliveClient() = default;
    ~KeptAliveClient();
    KeptAliveClient(const KeptAliveClient&) = delete;
    KeptAliveClient& operator=(const KeptAliveClient&) = delete;

    bool connectTo(const QString& address, quint16 port);
    std::optional<Answer> exchange(const QByteArray& method, const QByteArray& target,
                                   const Headers& headers, const QByteArray& body);

  private:
    bool fill();  // reads more into buffer_
    std::optional<Answer> exchangeOnce(const QByteArray& request);

    QString address_;
    quint16 port_ = 0;
    int fd_ = -1;
    QByteArray buffer_;
};
