// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notification area of the desktop, reached through QSystemTrayIcon.
// Each message window has at most one icon; a modify may give it a new
// identifier, under which its later notifications are sent.
// Used on the thread that created it only, as every widget: a request from
// another thread (the watcher hiding the icon) is posted to that thread by
// whoever makes it, so no thread here ever waits for another.
#include "widgets/tray_shell.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <map>
#include <vector>

namespace widgets {

class QtTrayShell : public QObject, public TrayShell {
    Q_OBJECT
public:
    explicit QtTrayShell(QObject* parent = nullptr);
    ~QtTrayShell() override;

    // Fails where the desktop has no notification area, or when the message
    // window already has an icon.
    bool add(const NotifyIconData& data, const QIcon& icon) override;
    // Fails when the message window has no icon.
    bool modify(const NotifyIconData& data, const QIcon& icon) override;
    bool remove(const NotifyIconData& data) override;
    void setMenu(const NotifyIconData& data, QMenu* menu) override;

    // The icon shown for a message window, or nullptr.
    QSystemTrayIcon* trayIcon(quintptr hWnd) const;

    // The shell's mouse messages for one activation of a tray icon. Qt reports
    // a left press as Trigger and the second press of a double click as
    // DoubleClick, so a double click gives down, up, double click, up.
    static std::vector<int32_t> mouseMessages(QSystemTrayIcon::ActivationReason reason);

private:
    struct Entry {
        NotifyIconData data;
        QSystemTrayIcon* icon;
    };
    void notify(quintptr hWnd, QSystemTrayIcon::ActivationReason reason);

    std::map<quintptr, Entry> icons_;
};

}  // namespace widgets
