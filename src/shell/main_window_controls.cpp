// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window_controls.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "engine/factor.h"
#include "shell/fonts.h"
#include "status_label.h"
#include "widgets/gauge.h"
#include "widgets/task_icon.h"

namespace shell {

using engine::kMaxFactor;
using engine::kMinFactor;
using widgets::TGauge;

namespace {
template <typename T>
T* named(T* object, const char* name) {
    object->setObjectName(name);
    return object;
}

QFrame* loweredPanel(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* panel = named(new QFrame(parent), name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(x, y, w, h);
    return panel;
}

QFrame* bevelLine(QWidget* parent, int x, int y, int w, int h) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Raised);
    bevel->setGeometry(x, y, w, h);
    return bevel;
}

QLabel* label(QWidget* parent, const char* name, int x, int y, const QString& text, const QString& hint = {}) {
    auto* l = named(new QLabel(text, parent), name);
    l->move(x, y);
    l->setToolTip(hint);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, QRect place, const QString& text, const QString& hint) {
    auto* b = named(new QPushButton(text, parent), name);
    b->setGeometry(place);
    b->setToolTip(hint);
    return b;
}

QAction* action(QMenu* menu, const char* name, const QString& text) { return named(menu->addAction(text), name); }

void buildMenu(QMainWindow& window, MainWindowControls& c) {
    QMenu* options = window.menuBar()->addMenu("Options");
    c.TunetoyourCPU1 = action(options, "TunetoyourCPU1", "Tune to your CPU");
    c.AccurateSlowdown1 = action(options, "AccurateSlowdown1", "Accurate slow-down");
    c.AccurateSlowdown1->setCheckable(true);
    QMenu* help = window.menuBar()->addMenu("Help");
    c.Contents1 = action(help, "Contents1", "Contents");
    c.Commandline1 = action(help, "Commandline1", "Command line");
    c.About1 = action(help, "About1", "About");
}

void buildSpeedPanels(QWidget* client, MainWindowControls& c) {
    bevelLine(client, 0, 0, 521, 9);
    bevelLine(client, 10, 0, 521, 10);
    c.panel1 = loweredPanel(client, "panel1", 0, 8, 129, 81);
    c.Label1 = label(c.panel1, "Label1", 16, 16, "Slow down factor ");
    c.Label1->setFont(tahomaFont());
    c.Label1->resize(104, 16);
    c.Gauge1 = named(new TGauge(c.panel1), "Gauge1");
    c.Gauge1->setGeometry(16, 40, 97, 25);
    c.Gauge1->setToolTip("This is the % of slow down");

    c.Panel2 = loweredPanel(client, "Panel2", 136, 16, 385, 73);
    c.Label3 = label(c.Panel2, "Label3", 8, 11, QString(), "Your CPU !");
    c.Label3->setFont(tahomaFont());
    c.Label4 = label(c.Panel2, "Label4", 8, 32, QString(), "Mhz of your cpu");
    c.Label5 = label(c.Panel2, "Label5", 8, 48, QString(), "Remaining Mhz ");
    c.Button1 = button(c.Panel2, "Button1", {304, 24, 65, 25}, "Start!!!", "Press this to start/stop Lentora");
    c.Button1->setIcon(QIcon(":/lentora/start.png"));
}

void buildFactorPanel(QWidget* client, MainWindowControls& c) {
    c.Panel3 = loweredPanel(client, "Panel3", 0, 96, 481, 73);
    c.TrackBar1 = named(new QSlider(Qt::Horizontal, c.Panel3), "TrackBar1");
    c.TrackBar1->setGeometry(8, 8, 465, 33);
    c.TrackBar1->setRange(kMinFactor, kMaxFactor);
    c.TrackBar1->setSingleStep(1);
    c.TrackBar1->setPageStep(1);
    c.TrackBar1->setTickPosition(QSlider::TicksBelow);
    c.TrackBar1->setTickInterval(1);
    c.TrackBar1->setToolTip("Use the trackbar to select the slow down factor");
    c.ProgressBar1 = named(new QProgressBar(c.Panel3), "ProgressBar1");
    c.ProgressBar1->setGeometry(16, 42, 145, 23);
    c.ProgressBar1->setRange(0, 100);
    c.ProgressBar1->setValue(0);
    c.ProgressBar1->setTextVisible(false);
    c.ProgressBar1->setToolTip("Wait / Runfor  remaining seconds");
    c.Panel4 = loweredPanel(c.Panel3, "Panel4", 168, 42, 169, 23);
    const QString benchHint = "Time needed to your CPU to perform the benchmark , the less is the better is!";
    c.Panel4->setToolTip(benchHint);
    c.Label6 = label(c.Panel4, "Label6", 8, 4, "Benchmark time:", benchHint);
    c.benchtime = label(c.Panel4, "benchtime", 112, 4, "0", benchHint);
    c.benchtime->resize(50, c.benchtime->sizeHint().height());
}

void buildLaunchBoxButtons(QWidget* client, MainWindowControls& c) {
    c.Down = button(client, "Down", {488, 96, 33, 73}, QString(), "Show Launchbox");
    c.Down->setIcon(QIcon(":/lentora/down.png"));
    c.Down->setIconSize(QSize(16, 24));
    c.Up = button(client, "Up", {488, 96, 33, 73}, QString(), "Hide Launchbox");
    c.Up->setIcon(QIcon(":/lentora/up.png"));
    c.Up->setIconSize(QSize(16, 24));
    c.Up->setVisible(false);
    c.Up->setEnabled(false);
}

void buildLaunchBox(QWidget* client, MainWindowControls& c) {
    c.ListBox1 = named(new QListView(client), "ListBox1");
    c.ListBox1->setGeometry(0, 208, 433, 121);
    c.ListBox1->setToolTip("Double click to launch an application!");
    c.ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.ListBox1->setUniformItemSizes(true);
    c.Add = button(client, "Add", {440, 208, 81, 25}, "Add", "Add a new application");
    c.Remove = button(client, "Remove", {440, 240, 81, 25}, "Remove", "Remove the selected application");
    c.Propertybutton = button(client, "Propertybutton", {441, 272, 81, 25}, "Properties",
                              "change path,Name and launch speed and other parameters for selected application");
    c.Launch = button(client, "Launch", {440, 304, 81, 25}, "Launch", "Launch the selected application!!");
    c.Launch->setIcon(QIcon(":/lentora/launch.png"));
}

void buildStatusBar(QWidget* client, MainWindowControls& c) {
    c.StatusBar1 = named(new StatusLabel("The status bar ", client), "StatusBar1");
    c.StatusBar1->setText(QStringLiteral("        "));
    c.StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // At the bar's right end, inside it, so the bar keeps its full width and
    // the hint text stops short of the indicator.
    c.RightsIndicator = named(new QLabel(c.StatusBar1), "RightsIndicator");
    c.RightsIndicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    c.RightsIndicator->setAlignment(Qt::AlignCenter);
    c.Readout = named(new QLabel(c.StatusBar1), "Readout");
    c.Readout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    c.Readout->setAlignment(Qt::AlignCenter);
    c.Readout->setVisible(false);
}

// The boxes from the bar's right end leftwards; the hint text stops short of them.
void placeStatusBoxes(const MainWindowControls& c) {
    int right = c.StatusBar1->width() - 2;
    for (QLabel* box : {c.RightsIndicator, c.Readout}) {
        if (box->isHidden()) continue;
        const int width = box->sizeHint().width() + 12;
        right -= width;
        box->setGeometry(right, 2, width, 21);
        right -= 2;
    }
    c.StatusBar1->setContentsMargins(0, 0, c.StatusBar1->width() - right + 2, 0);
}
}  // namespace

MainWindowControls buildControls(QMainWindow& window, QWidget& client) {
    MainWindowControls c;
    buildMenu(window, c);
    buildSpeedPanels(&client, c);
    buildFactorPanel(&client, c);
    buildLaunchBoxButtons(&client, c);
    buildLaunchBox(&client, c);
    buildStatusBar(&client, c);
    c.secticker = named(new QTimer(&window), "secticker");
    c.measureTicker = named(new QTimer(&window), "measureTicker");
    return c;
}

void buildTray(QMainWindow& window, MainWindowControls& c, std::shared_ptr<widgets::TrayShell> shell) {
    c.tiTray = named(new widgets::TTaskIcon(&window, std::move(shell)), "tiTray");
    c.tiTray->setIcon(QApplication::windowIcon());
    c.TrayMenu = named(new QMenu(&window), "TrayMenu");
    c.Restore1 = action(c.TrayMenu, "Restore1", "Restore");
    c.Quit1 = action(c.TrayMenu, "Quit1", "Quit");
    c.Quit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    window.addAction(c.Quit1);  // Ctrl+Q anywhere in the window, though no menu shows it
    c.tiTray->setPopupMenu(c.TrayMenu);
}

void showRights(const MainWindowControls& c, const QString& summary, const QString& details) {
    c.RightsIndicator->setText(summary);
    c.RightsIndicator->setToolTip(details);
    placeStatusBoxes(c);
}

void showReadout(const MainWindowControls& c, const QString& text, const QString& details) {
    c.Readout->setText(text);
    c.Readout->setToolTip(details);
    c.Readout->setVisible(!text.isEmpty());
    placeStatusBoxes(c);
}

void setTabOrder(const MainWindowControls& c) {
    // panel1 and the panels hold no focusable control but those named here.
    QWidget* order[] = {c.Button1, c.Up, c.Add, c.Remove, c.Propertybutton, c.Launch, c.ListBox1, c.TrackBar1, c.Down};
    for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace shell
