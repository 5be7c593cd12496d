// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shell side of the notification-area icon: the record that describes
// an icon, and the add / modify / delete requests that show, change and
// remove it. Each request reports whether the shell accepted it.
#include <QIcon>
#include <QtGlobal>
#include <cstdint>

class QMenu;

namespace widgets {

// The notification record, in its first and shortest version (88 bytes on
// the original platform).
struct NotifyIconData {
    uint32_t cbSize = 88;
    quintptr hWnd = 0;  // handle of the message window that receives notifications
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    quintptr hIcon = 0;   // cache key of the icon shown
    char szTip[64] = {};  // zero-terminated tooltip
};

constexpr uint32_t NIF_MESSAGE = 0x1;
constexpr uint32_t NIF_ICON = 0x2;
constexpr uint32_t NIF_TIP = 0x4;
constexpr uint32_t WM_USER = 0x0400;

// The mouse messages the shell sends as a notification's lParam.
constexpr int32_t WM_MOUSEMOVE = 0x0200;
constexpr int32_t WM_LBUTTONDOWN = 0x0201;
constexpr int32_t WM_LBUTTONUP = 0x0202;
constexpr int32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr int32_t WM_RBUTTONDOWN = 0x0204;
constexpr int32_t WM_RBUTTONUP = 0x0205;
constexpr int32_t WM_RBUTTONDBLCLK = 0x0206;
constexpr int32_t WM_MBUTTONDOWN = 0x0207;
constexpr int32_t WM_MBUTTONUP = 0x0208;

class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual bool add(const NotifyIconData& data, const QIcon& icon) = 0;
    virtual bool modify(const NotifyIconData& data, const QIcon& icon) = 0;
    virtual bool remove(const NotifyIconData& data) = 0;
    // The menu the shown icon offers on a right click (nullptr: none). The
    // desktop draws it itself where it hosts icons over D-Bus, so it cannot
    // be left to a mouse notification.
    virtual void setMenu(const NotifyIconData& data, QMenu* menu) = 0;
};

// Sends one mouse notification for the icon described by data to its
// message window, as the shell does. False when that window no longer exists.
bool deliverTrayNotification(const NotifyIconData& data, int32_t mouseMessage);

}  // namespace widgets
