// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's controls, named as in the window's design. Each carries
// its name as its object name, so that scripts and tests find it by name.
class QAction;
class QFrame;
class QLabel;
class QListView;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;
#include <memory>

class QString;

namespace widgets {
class TGauge;
class TTaskIcon;
class TrayShell;
}  // namespace widgets

namespace shell {

struct MainWindowControls {
    QFrame* panel1 = nullptr;
    QLabel* Label1 = nullptr;
    widgets::TGauge* Gauge1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* Button1 = nullptr;
    QFrame* Panel3 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* benchtime = nullptr;
    QPushButton* Down = nullptr;
    QPushButton* Up = nullptr;
    QListView* ListBox1 = nullptr;
    QPushButton* Add = nullptr;
    QPushButton* Remove = nullptr;
    QPushButton* Propertybutton = nullptr;
    QPushButton* Launch = nullptr;
    QLabel* StatusBar1 = nullptr;
    // The status bar's permanent indicator of what the slow-down holds
    // against; hints and launch texts never replace it.
    QLabel* RightsIndicator = nullptr;
    // Beside it while the slow-down runs: what programs really get, measured.
    QLabel* Readout = nullptr;
    QAction* TunetoyourCPU1 = nullptr;
    QAction* AccurateSlowdown1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* Commandline1 = nullptr;
    QAction* About1 = nullptr;
    QTimer* secticker = nullptr;
    // Paces the measurement while the slow-down runs.
    QTimer* measureTicker = nullptr;
    // The tray icon and its right-click menu, made once the start-up got that far.
    widgets::TTaskIcon* tiTray = nullptr;
    QMenu* TrayMenu = nullptr;
    QAction* Restore1 = nullptr;
    QAction* Quit1 = nullptr;
};

// Makes the menu and the controls at their pixel positions; nothing is connected yet.
MainWindowControls buildControls(QMainWindow& window, QWidget& client);
// Makes the tray icon (hidden) and its menu, whose "Quit" is also the window's Ctrl+Q.
void buildTray(QMainWindow& window, MainWindowControls& controls, std::shared_ptr<widgets::TrayShell> shell);
// The keyboard order of the controls.
void setTabOrder(const MainWindowControls& controls);
// The status bar's indicator of what the slow-down holds against, at the bar's right end.
void showRights(const MainWindowControls& controls, const QString& summary, const QString& details);
// The measured readout to the indicator's left; an empty text hides it.
void showReadout(const MainWindowControls& controls, const QString& text, const QString& details);

}  // namespace shell
