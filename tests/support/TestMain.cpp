#include <gtest/gtest.h>

#include <QApplication>

// Every test program gets a real application object so that the main event
// loop, timers and widgets behave as in the agent. Widgets render offscreen
// unless a display platform was asked for explicitly.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
