#include <gtest/gtest.h>

#include <QApplication>

#include "ChildMain.h"

// Every test program gets a real application object so that the main event
// loop, timers and widgets behave as in the agent. Widgets render offscreen
// unless a display platform was asked for explicitly. Started with
// "--relaydock-child", the program runs a registered child entry instead.
int main(int argc, char** argv) {
    int childExit = 0;
    if (ChildMain::runIfRequested(argc, argv, &childExit)) return childExit;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
