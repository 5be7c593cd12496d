// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hidden message window of a notification-area icon: the shell knows it
// by its handle and sends it the icon's notifications. Only the tray's own
// message (WM_USER) is handled; every other message gets the default answer.
#include <QtGlobal>
#include <cstdint>
#include <functional>

namespace widgets {

class TrayMessageWindow {
public:
    using UserMessageHandler = std::function<void(uint32_t wParam, int32_t lParam)>;

    explicit TrayMessageWindow(UserMessageHandler onUserMessage);
    ~TrayMessageWindow();
    TrayMessageWindow(const TrayMessageWindow&) = delete;
    TrayMessageWindow& operator=(const TrayMessageWindow&) = delete;

    quintptr handle() const { return handle_; }
    // The window procedure. Parameters are 32 bits wide, as on the platform
    // the notification record comes from.
    qintptr windowProc(uint32_t message, uint32_t wParam, int32_t lParam);

    // The live window with this handle, or nullptr (also for handle 0).
    static TrayMessageWindow* find(quintptr handle);

private:
    quintptr handle_;
    UserMessageHandler onUserMessage_;
};

}  // namespace widgets
