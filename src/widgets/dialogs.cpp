// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "application_filter.h"

namespace widgets {

void blockOwnerOnly(QDialog& dialog) {
    if (dialog.parentWidget()) dialog.setWindowModality(Qt::WindowModal);
}

namespace {
void showMessage(QMessageBox::Icon icon, QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    blockOwnerOnly(box);
    box.exec();
}
}  // namespace

void QtDialogs::information(QWidget* parent, const QString& caption, const QString& text) {
    showMessage(QMessageBox::Information, parent, caption, text);
}

void QtDialogs::error(QWidget* parent, const QString& text) {
    showMessage(QMessageBox::Critical, parent, QApplication::applicationName(), text);
}

std::optional<QString> QtDialogs::openFile(QWidget* parent, const QString& filter) {
    // QFileDialog never changes the current directory, and with ExistingFile
    // it only accepts files that exist. Qt's own dialog is needed for the
    // proxy model that also shows programs without an extension.
    QFileDialog dialog(parent);
    blockOwnerOnly(dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const std::vector<FileFilterEntry> entries = parseFileFilter(filter);
    if (!entries.empty()) {
        // The model lists every file; the proxy does the filtering.
        QStringList names;
        for (const FileFilterEntry& entry : entries) names << entry.name + " (*)";
        auto* proxy = new ApplicationFilterProxy(entries.front().patterns, &dialog);
        dialog.setProxyModel(proxy);
        dialog.setNameFilters(names);
        QObject::connect(&dialog, &QFileDialog::filterSelected, proxy, [proxy, names, entries](const QString& name) {
            const qsizetype i = names.indexOf(name);
            if (i >= 0) proxy->setPatterns(entries[static_cast<size_t>(i)].patterns);
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front();
}

}  // namespace widgets
