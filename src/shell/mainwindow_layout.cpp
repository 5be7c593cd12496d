// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, at their pixel positions.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "engine/factor.h"
#include "shell/fonts.h"
#include "shell/mainwindow.h"
#include "widgets/gauge.h"

namespace shell {

using engine::kMaxFactor;
using engine::kMinFactor;
using widgets::TGauge;

namespace {
QFrame* loweredPanel(QWidget* parent, int x, int y, int w, int h) {
    auto* panel = new QFrame(parent);
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

QLabel* label(QWidget* parent, int x, int y, const QString& text, const QString& hint = {}) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->setToolTip(hint);
    return l;
}

QPushButton* button(QWidget* parent, int x, int y, int w, int h, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, w, h);
    b->setToolTip(hint);
    return b;
}
}  // namespace

void Tform1::buildWindow() {
    setWindowTitle(kCaption);
    setFont(windowFont());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    client_ = new QWidget(this);
    setCentralWidget(client_);
    buildMenu();
    buildUpperPart(client_);
    buildLaunchBox(client_);
    StatusBar1 = new QLabel(QStringLiteral("        "), client_);
    StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->setToolTip("The status bar ");
    StatusBar1->setObjectName("StatusBar1");
    // At the bar's right end, inside it, so the bar keeps its full width and
    // the hint text stops short of the indicator.
    RightsIndicator = new QLabel(StatusBar1);
    RightsIndicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RightsIndicator->setAlignment(Qt::AlignCenter);
    RightsIndicator->setObjectName("RightsIndicator");
    secticker = new QTimer(this);
    secticker->setInterval(services_.tickIntervalMs);
    setClientHeight(359);
}

void Tform1::buildMenu() {
    QMenu* options = menuBar()->addMenu("Options");
    TunetoyourCPU1 = options->addAction("Tune to your CPU");
    connect(TunetoyourCPU1, &QAction::triggered, this, [this] { TunetoyourCPU1Click(); });
    AccurateSlowdown1 = options->addAction("Accurate slow-down");
    AccurateSlowdown1->setCheckable(true);
    connect(AccurateSlowdown1, &QAction::triggered, this, [this] { AccurateSlowdown1Click(); });
    QMenu* help = menuBar()->addMenu("Help");
    Contents1 = help->addAction("Contents");
    Commandline1 = help->addAction("Command line");
    About1 = help->addAction("About");
    connect(Contents1, &QAction::triggered, this, [this] { Contents1Click(); });
    connect(Commandline1, &QAction::triggered, this, [this] { Commandline1Click(); });
    connect(About1, &QAction::triggered, this, [this] { About1Click(); });
}

void Tform1::buildUpperPart(QWidget* client) {
    bevelLine(client, 0, 0, 521, 9);
    bevelLine(client, 10, 0, 521, 10);

    panel1 = loweredPanel(client, 0, 8, 129, 81);
    Label1 = label(panel1, 16, 16, "Slow down factor ");
    Label1->setFont(tahomaFont());
    Label1->resize(104, 16);
    Gauge1 = new TGauge(panel1);
    Gauge1->setGeometry(16, 40, 97, 25);
    Gauge1->setToolTip("This is the % of slow down");

    Panel2 = loweredPanel(client, 136, 16, 385, 73);
    Label3 = label(Panel2, 8, 11, QString(), "Your CPU !");
    Label3->setFont(tahomaFont());
    Label4 = label(Panel2, 8, 32, QString(), "Mhz of your cpu");
    Label5 = label(Panel2, 8, 48, QString(), "Remaining Mhz ");
    Button1 = button(Panel2, 304, 24, 65, 25, "Start!!!", "Press this to start/stop Lentora");
    Button1->setIcon(QIcon(":/lentora/start.png"));
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    Panel3 = loweredPanel(client, 0, 96, 481, 73);
    TrackBar1 = new QSlider(Qt::Horizontal, Panel3);
    TrackBar1->setGeometry(8, 8, 465, 33);
    TrackBar1->setRange(kMinFactor, kMaxFactor);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    TrackBar1->setToolTip("Use the trackbar to select the slow down factor");
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    ProgressBar1 = new QProgressBar(Panel3);
    ProgressBar1->setGeometry(16, 42, 145, 23);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setToolTip("Wait / Runfor  remaining seconds");
    Panel4 = loweredPanel(Panel3, 168, 42, 169, 23);
    const QString benchHint = "Time needed to your CPU to perform the benchmark , the less is the better is!";
    Panel4->setToolTip(benchHint);
    Label6 = label(Panel4, 8, 4, "Benchmark time:", benchHint);
    benchtime = label(Panel4, 112, 4, "0", benchHint);
    benchtime->resize(50, benchtime->sizeHint().height());

    Down = button(client, 488, 96, 33, 73, QString(), "Show Launchbox");
    Down->setIcon(QIcon(":/lentora/down.png"));
    Down->setIconSize(QSize(16, 24));
    Up = button(client, 488, 96, 33, 73, QString(), "Hide Launchbox");
    Up->setIcon(QIcon(":/lentora/up.png"));
    Up->setIconSize(QSize(16, 24));
    Up->setVisible(false);
    Up->setEnabled(false);
    connect(Down, &QPushButton::clicked, this, [this] { DownClick(); });
    connect(Up, &QPushButton::clicked, this, [this] { UpClick(); });
}

void Tform1::buildLaunchBox(QWidget* client) {
    ListBox1 = new QListView(client);
    ListBox1->setGeometry(0, 208, 433, 121);
    ListBox1->setToolTip("Double click to launch an application!");
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setUniformItemSizes(true);
    Add = button(client, 440, 208, 81, 25, "Add", "Add a new application");
    Remove = button(client, 440, 240, 81, 25, "Remove", "Remove the selected application");
    Propertybutton = button(client, 441, 272, 81, 25, "Properties",
                            "change path,Name and launch speed and other parameters for selected application");
    Launch = button(client, 440, 304, 81, 25, "Launch", "Launch the selected application!!");
    Launch->setIcon(QIcon(":/lentora/launch.png"));
}

void Tform1::UpdateRightsIndicator() {
    RightsIndicator->setText(QString::fromStdString(engine_->slowDown.RightsSummary()));
    RightsIndicator->setToolTip(QString::fromStdString(engine_->slowDown.RightsDetails()));
    const int width = RightsIndicator->sizeHint().width() + 12;
    RightsIndicator->setGeometry(kClientWidth - width - 2, 2, width, 21);
    StatusBar1->setContentsMargins(0, 0, width + 4, 0);
}

int Tform1::clientHeight() const { return client_->height(); }

void Tform1::setClientHeight(int height) {
    // The window is fixed in size; only the client height changes, and the
    // status bar follows the bottom edge.
    client_->setFixedSize(kClientWidth, height);
    StatusBar1->setGeometry(0, height - 25, kClientWidth, 25);
    StatusBar1->raise();
    setFixedSize(kClientWidth, height + menuBar()->sizeHint().height());
}

void Tform1::DownClick() {
    Down->setVisible(false);
    Down->setEnabled(false);
    Up->setVisible(true);
    Up->setEnabled(true);
    setClientHeight(kHeightLaunchBoxShown);
}

void Tform1::UpClick() {
    Up->setEnabled(false);
    Up->setVisible(false);
    Down->setEnabled(true);
    Down->setVisible(true);
    setClientHeight(kHeightLaunchBoxHidden);
}

}  // namespace shell
