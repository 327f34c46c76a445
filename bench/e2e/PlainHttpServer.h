#pragma once

#include <atomic>
#include <thread>

#include <QtGlobal>

// A loopback HTTP/1.1 server that never sets TCP_NODELAY and answers every
// request with one write of a small JSON body. Against it, a client that
// sends a request's headers and body in two writes without TCP_NODELAY
// waits for this side's delayed acknowledgement, which shows as ~40 ms per
// request on a kept-alive connection.
class PlainHttpServer {
  public:
    PlainHttpServer();
    ~PlainHttpServer();
    PlainHttpServer(const PlainHttpServer&) = delete;
    PlainHttpServer& operator=(const PlainHttpServer&) = delete;

    quint16 port() const { return port_; }

  private:
    void run();
    void serve(int fd);

    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
