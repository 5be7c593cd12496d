// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/qt_tray_shell.h"

#include <QThread>
#include <cstring>

namespace widgets {
namespace {

QString toolTipOf(const NotifyIconData& data) {
    return QString::fromUtf8(data.szTip, static_cast<qsizetype>(strnlen(data.szTip, sizeof data.szTip)));
}

}  // namespace

QtTrayShell::QtTrayShell(QObject* parent) : QObject(parent) {}

QtTrayShell::~QtTrayShell() = default;  // the icons are children and go with it

bool QtTrayShell::add(const NotifyIconData& data, const QIcon& icon) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (!QSystemTrayIcon::isSystemTrayAvailable() || icons_.count(data.hWnd)) return false;
    auto* trayIcon = new QSystemTrayIcon(icon, this);
    trayIcon->setToolTip(toolTipOf(data));
    const quintptr hWnd = data.hWnd;
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this, hWnd](QSystemTrayIcon::ActivationReason reason) { notify(hWnd, reason); });
    icons_[hWnd] = Entry{data, trayIcon};
    trayIcon->show();
    return true;
}

bool QtTrayShell::modify(const NotifyIconData& data, const QIcon& icon) {
    Q_ASSERT(QThread::currentThread() == thread());
    const auto found = icons_.find(data.hWnd);
    if (found == icons_.end()) return false;
    found->second.data = data;
    found->second.icon->setIcon(icon);
    found->second.icon->setToolTip(toolTipOf(data));
    return true;
}

// The icon may be removed from inside its own activation signal (a double
// click restores the program, which removes the icon), so it is hidden at
// once and deleted later.
bool QtTrayShell::remove(const NotifyIconData& data) {
    Q_ASSERT(QThread::currentThread() == thread());
    const auto found = icons_.find(data.hWnd);
    if (found == icons_.end()) return false;
    found->second.icon->hide();
    found->second.icon->deleteLater();
    icons_.erase(found);
    return true;
}

void QtTrayShell::setMenu(const NotifyIconData& data, QMenu* menu) {
    Q_ASSERT(QThread::currentThread() == thread());
    const auto found = icons_.find(data.hWnd);
    if (found != icons_.end()) found->second.icon->setContextMenu(menu);
}

QSystemTrayIcon* QtTrayShell::trayIcon(quintptr hWnd) const {
    const auto found = icons_.find(hWnd);
    return found == icons_.end() ? nullptr : found->second.icon;
}

std::vector<int32_t> QtTrayShell::mouseMessages(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {WM_LBUTTONDOWN, WM_LBUTTONUP};
    case QSystemTrayIcon::DoubleClick:
        return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    case QSystemTrayIcon::MiddleClick:
        return {WM_MBUTTONDOWN, WM_MBUTTONUP};
    case QSystemTrayIcon::Context:
        return {WM_RBUTTONDOWN, WM_RBUTTONUP};
    default:
        return {};
    }
}

// Each message goes out with the icon's record as it is at that moment; once
// the icon has been removed, the rest of the sequence is not sent.
void QtTrayShell::notify(quintptr hWnd, QSystemTrayIcon::ActivationReason reason) {
    for (int32_t message : mouseMessages(reason)) {
        const auto found = icons_.find(hWnd);
        if (found == icons_.end()) return;
        const NotifyIconData data = found->second.data;
        deliverTrayNotification(data, message);
    }
}

}  // namespace widgets
