#include "shell/controls/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

void QtDialogs::information(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

void QtDialogs::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

std::optional<QString> QtDialogs::openFile(QWidget* parent, const QString& filter) {
    // QFileDialog never changes the current directory, and with ExistingFile
    // it only accepts files that exist.
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

void ScriptedDialogs::information(QWidget*, const QString& caption, const QString& text) {
    shown.push_back({"information", caption, text});
}

void ScriptedDialogs::error(QWidget*, const QString& text) { shown.push_back({"error", QString(), text}); }

std::optional<QString> ScriptedDialogs::openFile(QWidget*, const QString& filter) {
    fileFilters.push_back(filter);
    if (fileAnswers.empty()) return std::nullopt;
    const bool chosen = fileAnswers.front().has_value();
    const QString path = chosen ? *fileAnswers.front() : QString();
    fileAnswers.erase(fileAnswers.begin());
    if (!chosen) return std::nullopt;
    return path;
}
