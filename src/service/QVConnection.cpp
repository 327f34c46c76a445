#include "service/QVConnection.h"

std::shared_ptr<QVConnection> QVConnection::connectionWithAddress(const QString& address,
                                                                  qint64 port,
                                                                  const QString& userID,
                                                                  const QString& password) {
    if (address.isNull()) return nullptr;
    auto connection = std::make_shared<QVConnection>();
    connection->address_ = address;
    connection->port_ = port;
    connection->userID_ = userID;
    connection->password_ = password;
    return connection;
}

QString QVConnection::address() const {
    std::lock_guard lock(mutex_);
    return address_;
}

void QVConnection::setAddress(const QString& address) {
    std::lock_guard lock(mutex_);
    address_ = address;
}

qint64 QVConnection::port() const {
    std::lock_guard lock(mutex_);
    return port_;
}

void QVConnection::setPort(qint64 port) {
    std::lock_guard lock(mutex_);
    port_ = port;
}

QString QVConnection::userID() const {
    std::lock_guard lock(mutex_);
    return userID_;
}

void QVConnection::setUserID(const QString& userID) {
    std::lock_guard lock(mutex_);
    userID_ = userID;
}

QString QVConnection::password() const {
    std::lock_guard lock(mutex_);
    return password_;
}

void QVConnection::setPassword(const QString& password) {
    std::lock_guard lock(mutex_);
    password_ = password;
}

QString QVConnection::description() const {
    std::lock_guard lock(mutex_);
    if (address_.isNull() || userID_.isNull()) return QStringLiteral("None");
    return QStringLiteral("corvane://%1@%2:%3").arg(userID_, address_, QString::number(port_));
}
