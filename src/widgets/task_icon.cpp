// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/task_icon.h"

#include "widgets/qt_tray_shell.h"

#include <QCursor>
#include <QtDebug>
#include <cstring>
#include <stdexcept>

namespace widgets {
namespace {

// The first 64 characters, without splitting a surrogate pair.
QString cutToString64(const QString& text) {
    QString cut = text.left(String64Length);
    if (cut.size() < text.size() && !cut.isEmpty() && cut.back().isHighSurrogate()) cut.chop(1);
    return cut;
}

// The tooltip field holds 63 bytes and the terminating zero. The text goes
// in as UTF-8, cut back to a whole character where it does not fit.
void copyTip(char (&tip)[64], const QString& toolTip) {
    const QByteArray bytes = toolTip.toUtf8();
    qsizetype length = std::min<qsizetype>(bytes.size(), sizeof tip - 1);
    if (length < bytes.size())
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xc0) == 0x80) --length;
    std::memset(tip, 0, sizeof tip);
    std::memcpy(tip, bytes.constData(), static_cast<size_t>(length));
}

}  // namespace

TTaskIcon::TTaskIcon(QObject* owner, std::shared_ptr<TrayShell> shell)
    : QObject(owner),
      cursorPos([] { return QCursor::pos(); }),
      errorHandler([](const std::exception& error) { qWarning("%s", error.what()); }),
      shell_(shell ? std::move(shell) : std::make_shared<QtTrayShell>()),
      window_([this](uint32_t wParam, int32_t lParam) { receiveNotification(wParam, lParam); }) {}

TTaskIcon::~TTaskIcon() {
    if (active_) deleteIcon();
}

void TTaskIcon::setShell(std::shared_ptr<TrayShell> shell) { shell_ = std::move(shell); }

void TTaskIcon::setActive(bool active) {
    if (active == active_) return;
    if (active)
        active_ = addIcon();
    else
        active_ = !deleteIcon();
}

void TTaskIcon::setIcon(const QIcon& icon) {
    if (&icon == &icon_) return;
    icon_ = icon;
    if (active_) modifyIcon();
}

void TTaskIcon::setToolTip(const QString& text) {
    const QString cut = cutToString64(text);
    if (cut == toolTip_) return;
    toolTip_ = cut;
    if (active_) modifyIcon();
}

void TTaskIcon::setTaskIconID(uint32_t id) {
    if (id == taskIconID_) return;
    taskIconID_ = id;
    if (active_) modifyIcon();
}

void TTaskIcon::fillRecord() {
    data_.cbSize = 88;
    data_.hWnd = window_.handle();
    data_.uID = taskIconID_;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = WM_USER;
    data_.hIcon = static_cast<quintptr>(icon_.cacheKey());
    copyTip(data_.szTip, toolTip_);
}

void TTaskIcon::setPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
    if (active_) shell_->setMenu(data_, popupMenu_);
}

bool TTaskIcon::addIcon() {
    fillRecord();
    if (!shell_->add(data_, icon_)) return false;
    if (popupMenu_) shell_->setMenu(data_, popupMenu_);
    return true;
}

void TTaskIcon::modifyIcon() {
    fillRecord();
    shell_->modify(data_, icon_);  // a failed modify changes nothing here
}

bool TTaskIcon::deleteIcon() { return shell_->remove(data_); }

// Nothing may escape into the shell's call: errors go to the error handler
// and the component stays usable.
void TTaskIcon::receiveNotification(uint32_t wParam, int32_t lParam) {
    try {
        TrayNotify(wParam, lParam);
    } catch (const std::exception& error) {
        reportError(error);
    } catch (...) {
        reportError(std::runtime_error("Unknown error in the notification area icon"));
    }
}

void TTaskIcon::reportError(const std::exception& error) const {
    if (errorHandler) errorHandler(error);
}

// The identifier is compared as the shell's signed word against our unsigned
// one, so a negative wParam never matches.
void TTaskIcon::TrayNotify(uint32_t wParam, int32_t lParam) {
    if (int64_t{static_cast<int32_t>(wParam)} != int64_t{taskIconID_}) return;
    dispatchMouseMessage(lParam, cursorPos());
}

void TTaskIcon::dispatchMouseMessage(int32_t message, const QPoint& at) {
    const TShiftState none;
    switch (message) {
    case WM_MOUSEMOVE:
        MouseMove(none, at.x(), at.y());
        break;
    case WM_LBUTTONDOWN:
        MouseDown(mbLeft, none, at.x(), at.y());
        break;
    case WM_LBUTTONUP:
        Click();
        MouseUp(mbLeft, none, at.x(), at.y());
        break;
    case WM_LBUTTONDBLCLK:
        DblClick();
        break;
    case WM_RBUTTONDOWN:
        MouseDown(mbRight, none, at.x(), at.y());
        break;
    case WM_RBUTTONUP:
        MouseUp(mbRight, none, at.x(), at.y());
        break;
    case WM_MBUTTONDOWN:
        MouseDown(mbMiddle, none, at.x(), at.y());
        break;
    case WM_MBUTTONUP:
        MouseUp(mbMiddle, none, at.x(), at.y());
        break;
    default:
        break;  // a right double click and every other message raise nothing
    }
}

void TTaskIcon::Click() {
    if (OnClick) OnClick(this);
}

void TTaskIcon::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TTaskIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TTaskIcon::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TTaskIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

}  // namespace widgets
