#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/ChildMain.h"

// The share pipeline needs no display and no widgets: its tests run under a
// core application object only.
int main(int argc, char** argv) {
    int childExit = 0;
    if (ChildMain::runIfRequested(argc, argv, &childExit)) return childExit;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
