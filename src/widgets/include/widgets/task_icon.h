// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TTaskIcon: the program's icon in the notification area. It keeps the
// notification record, sends it to the shell on add, modify and delete, and
// turns the shell's mouse notifications into its events.
#include "widgets/tray_message_window.h"
#include "widgets/tray_shell.h"

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

namespace widgets {

enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = Qt::KeyboardModifiers;
using TNotifyEvent = std::function<void(QObject* sender)>;
using TMouseEvent = std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(QObject* sender, TShiftState shift, int x, int y)>;

// A short string: the tooltip keeps at most this many characters.
constexpr qsizetype String64Length = 64;

class TTaskIcon : public QObject {
    Q_OBJECT
public:
    // Without a shell the desktop's notification area is used.
    explicit TTaskIcon(QObject* owner = nullptr, std::shared_ptr<TrayShell> shell = nullptr);
    ~TTaskIcon() override;  // deletes the icon if it is shown

    bool active() const { return active_; }
    void setActive(bool active);
    const QIcon& icon() const { return icon_; }
    void setIcon(const QIcon& icon);
    QString toolTip() const { return toolTip_; }
    void setToolTip(const QString& text);
    uint32_t taskIconID() const { return taskIconID_; }
    void setTaskIconID(uint32_t id);
    // The icon's right-click menu, owned by the caller; kept across adds.
    QMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu);

    // The record as last filled for an add or modify.
    const NotifyIconData& notifyIconData() const { return data_; }
    quintptr messageWindowHandle() const { return window_.handle(); }
    // For the next request to the shell; meant to be set before the icon is shown.
    void setShell(std::shared_ptr<TrayShell> shell);

    // One notification of the shell: wParam the icon's identifier, lParam
    // the mouse message.
    virtual void TrayNotify(uint32_t wParam, int32_t lParam);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // The cursor position in screen coordinates (QCursor::pos by default).
    std::function<QPoint()> cursorPos;
    // Receives exceptions that escape TrayNotify, including those of event
    // handlers; by default their message goes to the log.
    std::function<void(const std::exception&)> errorHandler;

protected:
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

private:
    void fillRecord();
    bool addIcon();
    void modifyIcon();
    bool deleteIcon();
    void receiveNotification(uint32_t wParam, int32_t lParam);
    void reportError(const std::exception& error) const;
    void dispatchMouseMessage(int32_t message, const QPoint& at);

    std::shared_ptr<TrayShell> shell_;
    bool active_ = false;
    QIcon icon_;
    QString toolTip_;
    uint32_t taskIconID_ = 0;
    QMenu* popupMenu_ = nullptr;
    NotifyIconData data_;
    TrayMessageWindow window_;
};

}  // namespace widgets
