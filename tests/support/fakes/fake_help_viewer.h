// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A help viewer for tests: it records every request and shows nothing.
// Header only, so the test-support library needs no window library; the
// tests that use it link the window's library anyway.
#include <QString>
#include <vector>

#include "shell/help_viewer.h"

namespace shell {

struct FakeHelpViewer : HelpViewer {
    struct Call {
        QString file;
        int command, data;
    };
    std::vector<Call> calls;
    void WinHelp(QWidget*, const QString& file, int command, int data) override {
        calls.push_back({file, command, data});
    }
};

}  // namespace shell
