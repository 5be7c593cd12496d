// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes and the open-file dialog, behind a small interface so that
// tests can answer them in advance instead of blocking on a modal window.
#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

namespace widgets {

// Makes a dialog block only the window it belongs to and that window's
// owners, not every window of the program: the help window, which belongs to
// none, stays usable while the dialog is open. A dialog without an owner
// stays modal to the whole program.
void blockOwnerOnly(QDialog& dialog);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal box with the information icon and one OK button.
    virtual void information(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A modal box showing an error's message.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The open-file dialog: an existing file's full path, or nothing when cancelled.
    // It never changes the process's current directory.
    virtual std::optional<QString> openFile(QWidget* parent, const QString& filter) = 0;
};

class QtDialogs : public Dialogs {
public:
    void information(QWidget* parent, const QString& caption, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    std::optional<QString> openFile(QWidget* parent, const QString& filter) override;
};

}  // namespace widgets
