// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/tray_shell.h"

#include "widgets/tray_message_window.h"

namespace widgets {

bool deliverTrayNotification(const NotifyIconData& data, int32_t mouseMessage) {
    TrayMessageWindow* window = TrayMessageWindow::find(data.hWnd);
    if (!window) return false;
    window->windowProc(data.uCallbackMessage, data.uID, mouseMessage);
    return true;
}

}  // namespace widgets
