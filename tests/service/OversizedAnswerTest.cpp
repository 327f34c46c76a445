#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "CannedHttpServer.h"
#include "service/QVNetworkThread.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"

namespace {

// Answers one request with a header that announces (or, without a length,
// simply starts) a gigabyte body, then streams zeros until the client hangs
// up. Counts what it managed to send.
class EndlessAnswerServer {
  public:
    explicit EndlessAnswerServer(bool announceLength) : announce_(announceLength) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EndlessAnswerServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    quint16 port() const { return port_; }
    qint64 sent() const { return sent_.load(); }

  private:
    void serve() {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return;
        char request[4096];
        (void)::recv(client, request, sizeof request, 0);
        const QByteArray head = announce_ ? QByteArray(
                                                "HTTP/1.1 200 OK\r\nContent-Length: "
                                                "1073741824\r\n\r\n")
                                          : QByteArray(
                                                "HTTP/1.1 200 OK\r\nConnection: "
                                                "close\r\n\r\n");
        (void)::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        const QByteArray chunk(64 * 1024, '0');
        while (sent_ < (qint64(1) << 30)) {
            const ssize_t n = ::send(client, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
            if (n <= 0) break;
            sent_ += n;
        }
        ::close(client);
    }

    bool announce_;
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<qint64> sent_{0};
    std::thread thread_;
};

qint64 peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QUrl libraryURL(quint16 port) {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/tessel/libraries/big/projects").arg(port));
}

}  // namespace

TEST(OversizedAnswer, AGigabyteBodyIsCutOffAtTheLimit) {
    TempHome home;
    for (const bool announce : {true, false}) {
        EndlessAnswerServer server(announce);
        QVErrorOpt error;
        const QVariant result = QVTesselUtil::syncRequestURL(libraryURL(server.port()), "u", "p",
                                                             "GET", std::nullopt, &error);
        EXPECT_FALSE(result.isValid());
        ASSERT_TRUE(error.has_value()) << announce;
        EXPECT_EQ(error->domain, "NSURLErrorDomain");
        EXPECT_EQ(error->code, -1103);
        EXPECT_EQ(error->localizedDescription(), "resource exceeds maximum size");
        // The client hung up long before the gigabyte was through.
        EXPECT_LT(server.sent(), qint64(1) << 30);
    }
}

TEST(OversizedAnswer, TenMegabyteAnswerIsReadInBoundedMemory) {
    TempHome home;
    // 10 MB of project entries in the envelope.
    QByteArray body = R"({"error":0,"domain":"d","message":"m","projects":[)";
    const QByteArray entry = R"({"id":"p","name":"a project with a longish name","dbname":"big",
        "type":0},)";
    while (body.size() < 10 * 1024 * 1024) body += entry;
    body.chop(1);
    body += "]}";
    const qsizetype entries = body.count("\"id\"");

    const qint64 before = peakResidentKiB();
    {
        const auto outcome = QVTesselUtil::decodeResponse(libraryURL(1), body, std::nullopt);
        ASSERT_FALSE(outcome.error.has_value());
        EXPECT_EQ(outcome.result.toMap().value("projects").toList().size(), entries);
    }
    // The decoded form costs a small multiple of the text, not more
    // (AddressSanitizer's red zones double it, ThreadSanitizer's shadow
    // memory quadruples it).
#if defined(__SANITIZE_THREAD__)
    constexpr qint64 kFactor = 120;
#elif defined(__SANITIZE_ADDRESS__)
    constexpr qint64 kFactor = 60;
#else
    constexpr qint64 kFactor = 30;
#endif
    EXPECT_LT(peakResidentKiB() - before, kFactor * 10 * 1024);

    CannedHttpServer server(CannedHttpServer::response(200, body));
    QVErrorOpt error;
    const QVariant result = QVTesselUtil::syncRequestURL(libraryURL(server.port()), "u", "p", "GET",
                                                         std::nullopt, &error);
    ASSERT_FALSE(error.has_value()) << error->localizedDescription().toStdString();
    EXPECT_EQ(result.toMap().value("projects").toList().size(), entries);
}
