// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_dialogs.h"

namespace widgets {

void FakeDialogs::information(QWidget*, const QString& caption, const QString& text) {
    shown.push_back({"information", caption, text});
}

void FakeDialogs::error(QWidget*, const QString& text) { shown.push_back({"error", QString(), text}); }

std::optional<QString> FakeDialogs::openFile(QWidget*, const QString& filter) {
    fileFilters.push_back(filter);
    if (fileAnswers.empty()) return std::nullopt;
    const std::optional<QString> answer = fileAnswers.front();
    fileAnswers.erase(fileAnswers.begin());
    return answer;
}

}  // namespace widgets
