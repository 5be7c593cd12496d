// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// F1 opens the help topic of the window or menu in front: each carries its
// context number in the property "helpContext".
#include <QObject>
#include <functional>

namespace shell {

class THelpKey : public QObject {
public:
    explicit THelpKey(std::function<void(int context)> showTopic, QObject* parent = nullptr)
        : QObject(parent), showTopic_(std::move(showTopic)) {}
    // The context number for a widget: its own or its nearest parent's; 0 if none.
    static int contextOf(QObject* object);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> showTopic_;
};

}  // namespace shell
