// SPDX-License-Identifier: GPL-3.0-or-later
// The main of the test programs with widgets: one QApplication for the run.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    // Listing the tests at build time happens without the test environment;
    // with no display to reach, the offscreen platform keeps that working.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
