// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's current hint: the hint (tooltip) of the widget under the
// mouse or of its nearest parent that has one, empty elsewhere. It reports
// only changes, so a text shown in the status bar stays until the mouse
// first reaches a place with a different hint.
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QWidget;

namespace shell {

class THintTracker : public QObject {
    Q_OBJECT
public:
    explicit THintTracker(QObject* parent = nullptr);
    // Runs whenever the current hint changes.
    std::function<void(const QString&)> OnHint;
    QString Hint() const { return hint_; }
    // Recomputes the hint for the widget under the given global position.
    void Update(QWidget* underMouse);
    static QString hintOf(QWidget* widget);
    static QWidget* widgetUnder(QWidget* receiver, QPoint globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString hint_;
};

}  // namespace shell
