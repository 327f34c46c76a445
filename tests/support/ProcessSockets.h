#pragma once

#include <QList>
#include <QString>

// The TCP sockets of another process of ours (a child, so that the kernel
// lets us borrow its descriptors), looked at from the inside: which of its
// connections set TCP_NODELAY. Answers what the process itself configured,
// not what a stopwatch suggests.
class ProcessSockets {
  public:
    struct Connection {
        quint16 localPort = 0;
        quint16 remotePort = 0;
        bool noDelay = false;
    };

    // Connected TCP sockets of pid whose peer port is remotePort (0: every
    // connected one). Empty with *error set when the process's descriptors
    // cannot be borrowed.
    static QList<Connection> connections(qint64 pid, quint16 remotePort, QString* error);
};
