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
    const bool chosen = fileAnswers.front().has_value();
    const QString path = chosen ? *fileAnswers.front() : QString();
    fileAnswers.erase(fileAnswers.begin());
    if (!chosen) return std::nullopt;
    return path;
}

}  // namespace widgets
