// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TProperties: the modal dialog that edits one entry of the launch list.
// It is created once with the main window as parent and reused, so what the
// handlers do not set (the tab showing, for one) carries over between uses.
#include <QDialog>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "launch/launch_entry.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace widgets {
class Dialogs;
class TGauge;
}  // namespace widgets

namespace launch {
class LaunchList;
}  // namespace launch

namespace shell {

// The filter of the program's open-file dialog (Dialogs::openFile).
inline constexpr char kApplicationFilter[] = "Application|*.EXE;*.COM;*.BAT;";
inline constexpr int kPropertiesHelpContext = 30;
inline constexpr int kFactorPageStep = 10;

// The name a new entry gets: the file name without its directory and its
// last extension. A leading dot does not start an extension, so a program
// named ".start" is not given an empty name (which OK would drop).
QString applicationName(const QString& path);

class TProperties : public QDialog {
    Q_OBJECT
public:
    // selectedIndex gives the list box's selected row (-1 for none); OK in
    // editing mode replaces that entry.
    TProperties(QWidget* mainWindow, widgets::Dialogs& dialogs, launch::LaunchList& list,
                std::filesystem::path launchFile, std::function<int()> selectedIndex);

    // Filling the controls, as "Add" and "Properties" do.
    void fillForAdd(const QString& path);
    void fillFromEntry(const launch::LaunchEntry& entry);
    // Disables the main window but keeps this dialog usable; OK and Cancel
    // enable the main window again.
    void disableMainWindow();
    void enableMainWindow();
    // Shows the dialog modally through RunModal.
    void ShowModal();
    // The entry the controls describe, as OK would store it.
    launch::LaunchEntry enteredEntry() const;

    // Handlers.
    void btnOkClick();
    void btnCancelClick();
    void SpinButton1DownClick();
    void SpinButton1UpClick();
    // An arrow or page key on the factor's buttons; false for other keys.
    bool stepFactorByKey(int key);
    void txtPathDblClick();
    void CheckBox1Click();
    void CheckBox2Click();
    void Edit1Exit();
    void Edit2Exit();

    // Dialog mode: true after "Add", false after "Properties"; OK reads it.
    bool adding = false;
    // How the dialog is shown modally: exec() in the program; tests replace
    // it to fill in fields and press a button without a modal loop.
    std::function<void(TProperties&)> RunModal;
    const int HelpContext = kPropertiesHelpContext;

    // Controls, named as in the dialog's design.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;  // "Main"
    QWidget* TabSheet2 = nullptr;  // "Advanced"
    QLineEdit* txtName = nullptr;
    QLineEdit* txtPath = nullptr;
    QToolButton* downproperties = nullptr;
    QToolButton* upproperties = nullptr;
    widgets::TGauge* Gauge1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    // Esc and a close from the window manager cancel like btnCancel.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMainPage();
    void buildAdvancedPage();
    void buildButtons();
    void connectHandlers();
    void showEditFor(QCheckBox* box, QLineEdit* edit);
    void checkEdit(QLineEdit* edit);
    void storeEntry();
    std::string storedOrTyped(const QLineEdit* edit, std::string launch::LaunchEntry::*field) const;

    widgets::Dialogs& dialogs_;
    launch::LaunchList& list_;
    std::filesystem::path launchFile_;
    std::function<int()> selectedIndex_;
    // The entry "Properties" filled the controls from; none after "Add".
    std::optional<launch::LaunchEntry> stored_;
    // The main window's focus before it was disabled: disabling takes the
    // focus away, and without it the focus would land on whatever comes
    // first when the window is active again.
    QPointer<QWidget> mainFocus_;
};

}  // namespace shell
