// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/tray_message_window.h"

#include "widgets/tray_shell.h"  // WM_USER

#include <map>
#include <mutex>

namespace widgets {
namespace {

// Handles are numbers of our own rather than addresses, so that a stale
// handle in a record can never reach a destroyed window.
struct WindowTable {
    std::mutex mutex;
    std::map<quintptr, TrayMessageWindow*> windows;
    quintptr lastHandle = 0;
};

WindowTable& table() {
    static WindowTable instance;
    return instance;
}

}  // namespace

TrayMessageWindow::TrayMessageWindow(UserMessageHandler onUserMessage) : onUserMessage_(std::move(onUserMessage)) {
    std::lock_guard lock(table().mutex);
    handle_ = ++table().lastHandle;
    table().windows[handle_] = this;
}

TrayMessageWindow::~TrayMessageWindow() {
    std::lock_guard lock(table().mutex);
    table().windows.erase(handle_);
}

qintptr TrayMessageWindow::windowProc(uint32_t message, uint32_t wParam, int32_t lParam) {
    if (message == WM_USER && onUserMessage_) onUserMessage_(wParam, lParam);
    return 0;  // the default answer to every message
}

TrayMessageWindow* TrayMessageWindow::find(quintptr handle) {
    std::lock_guard lock(table().mutex);
    const auto found = table().windows.find(handle);
    return found == table().windows.end() ? nullptr : found->second;
}

}  // namespace widgets
