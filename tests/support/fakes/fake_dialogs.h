// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes and file dialogs for tests: nothing is shown or blocks.
#include <QString>
#include <optional>
#include <vector>

#include "widgets/dialogs.h"

namespace widgets {

// Records every box shown and answers file dialogs from a queue.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString kind, caption, text;
    };
    std::vector<Shown> shown;
    std::vector<std::optional<QString>> fileAnswers;  // consumed from the front
    std::vector<QString> fileFilters;                 // the filters asked with

    void information(QWidget*, const QString& caption, const QString& text) override;
    void error(QWidget*, const QString& text) override;
    std::optional<QString> openFile(QWidget*, const QString& filter) override;
};

}  // namespace widgets
