#include <gtest/gtest.h>

#include "service/QVConnection.h"

namespace {

TEST(QVConnection, Defaults) {
    QVConnection connection;
    EXPECT_EQ(connection.address(), "127.0.0.1");
    EXPECT_EQ(connection.port(), 8080);
    EXPECT_TRUE(connection.userID().isNull());
    EXPECT_TRUE(connection.password().isNull());
    EXPECT_EQ(connection.description(), "None");
}

TEST(QVConnection, FactoryAndDescription) {
    EXPECT_EQ(QVConnection::connectionWithAddress(QString(), 80, "u", "p"), nullptr);
    auto noUser = QVConnection::connectionWithAddress("10.0.0.2", 7662, QString(), "p");
    ASSERT_TRUE(noUser);
    EXPECT_EQ(noUser->description(), "None");
    auto full = QVConnection::connectionWithAddress("media.local", 0, "editor", "SECRET");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->port(), 0);
    EXPECT_EQ(full->password(), "SECRET");
    EXPECT_EQ(full->description(), "corvane://editor@media.local:0");
    full->setPort(7662);
    full->setAddress(QString());
    EXPECT_EQ(full->description(), "None");
}

}  // namespace
