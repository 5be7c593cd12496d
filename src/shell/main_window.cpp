// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's creation: the start-up sequence that brings up every
// part of the program, in its fixed order, and which control calls which handler.
#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "cmdline/status_text.h"
#include "focus_launch.h"
#include "hint_tracker.h"
#include "launch/launch_list.h"
#include "main_window_controls.h"
#include "screen_place.h"
#include "start_up_steps.h"
#include "unattended_dialogs.h"
#include "watch_host_adapter.h"

namespace shell {

using cmdline::startsUnattended;
using cmdline::startupStatusText;
using engine::EngineMode;
using engine::TSlowDown;

namespace {
// The slow-down's burner threads outlive the window, so it is never freed
// (see Tform1::slowDown_). Kept here, it stays reachable to leak checkers.
TSlowDown* keepForever(Services& services) {
    static auto* kept = new std::vector<std::unique_ptr<TSlowDown>>;
    kept->push_back(std::make_unique<TSlowDown>(services.system, services.registry, services.clock));
    return kept->back().get();
}
}  // namespace

Tform1::Tform1(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      dialogs_(std::make_unique<UnattendedDialogs>(services_.dialogs, [this](const QString& t) { showNotice(t); })),
      slowDown_(services_.slowDown ? services_.slowDown : keepForever(services_)),
      launches_(std::make_unique<launch::Launcher>(services_.processes)) {
    dialogs_->setUnattended(startsUnattended(services_.parameters));
    buildWindow();
    connectWatchHost();
    try {
        FormCreate();
    } catch (const std::exception& e) {
        failStartUp(e);
    }
    startingUp_ = false;
    // Created hidden once and reused.
    createAboutBox();
    createPropertiesDialog();
    // Placed by the program, so that it is centred also where no window
    // manager places it.
    centreOnScreen(this);
}

Tform1::~Tform1() {
    // First the watch still running lets go of the window, so that it cannot
    // resume the burners after they were released.
    launches_.reset();
    // The burners stay suspended for good; no thread is joined. The session's
    // group goes back as it was found (also done at exit and on the
    // termination signals, for the ways out that skip this).
    slowDown_->Release();
}

void Tform1::connectControls() {
    const MainWindowControls& c = *ui_;
    connect(c.TunetoyourCPU1, &QAction::triggered, this, [this] { TunetoyourCPU1Click(); });
    connect(c.AccurateSlowdown1, &QAction::triggered, this, [this] { AccurateSlowdown1Click(); });
    connect(c.Contents1, &QAction::triggered, this, [this] { Contents1Click(); });
    connect(c.Commandline1, &QAction::triggered, this, [this] { Commandline1Click(); });
    connect(c.About1, &QAction::triggered, this, [this] { About1Click(); });
    connect(c.Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(c.TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    connect(c.Down, &QPushButton::clicked, this, [this] { DownClick(); });
    connect(c.Up, &QPushButton::clicked, this, [this] { UpClick(); });
    connect(c.ListBox1, &QListView::doubleClicked, this, [this] { LaunchClick(); });
    connect(c.Launch, &QPushButton::clicked, this, [this] { LaunchClick(); });
    connect(c.Add, &QPushButton::clicked, this, [this] { AddClick(); });
    connect(c.Remove, &QPushButton::clicked, this, [this] { RemoveClick(); });
    connect(c.Propertybutton, &QPushButton::clicked, this, [this] { PropertybuttonClick(); });
    connect(c.secticker, &QTimer::timeout, this, [this] { sectickerTimer(); });
    connect(c.measureTicker, &QTimer::timeout, this, [this] { measureTick(); });
    new FocusLaunch(*c.ListBox1, [this] { LaunchClick(); });
}

void Tform1::FormCreate() {
    services_.clock.sleep(services_.startupSleepMs);
    slowDown_->applyStartupPriorities();
    setClientHeight(kHeightLaunchBoxHidden);
    loadBenchmark();
    launchList_ = new launch::LaunchList(this);
    ui_->ListBox1->setModel(launchList_);
    cpuid_ = identifyProcessor(services_);
    if (!cpuid_) settings_.processorUnknown = true;
    const bool commandLineOk = readCommandLine(
        services_.parameters, settings_, cpuid_ ? cpuid_->ProcessorSpeed() : 0.0,
        [this] { dialogs_->information(this, "Information", "Can't recognize your cpu , /Virtspeed is not allowed"); });
    const QString startupText = QString::fromLocal8Bit(startupStatusText(commandLineOk, settings_));
    if (!commandLineOk) {
        exit_.refusedCommandLine();
        closeAfterRefusal_ = cmdline::asksToClose(services_.parameters);
    }
    createBurner();
    // What the rights allow follows the start-up text, once the burners know
    // it; then what a start that runs by itself had to say.
    startupNotices_.prepend(rightsNote());
    startupNotices_.prepend(startupText);
    showNotice({});
    updateRightsIndicator();
    UpdateSpeedLabels();
    TrackBar1Change();
    loadLaunchList();
    setUpTrayIcon();
    installedAppHandlers_ = true;
    hints_ = new THintTracker(this);
    hints_->OnHint = [this](const QString& hint) { AppHint(hint); };
    qApp->installEventFilter(hints_);
    // Nothing to launch: whoever started Lentora uses its window.
    if (settings_.application.empty() && !closeAfterRefusal_) dialogs_->setUnattended(false);
}

// The start-up cannot be completed: tell the user and end cleanly.
void Tform1::failStartUp(const std::exception& e) {
    exit_.ownFailure();
    commandLineLaunched_ = true;  // nothing is launched any more
    dialogs_->error(this, QString::fromLocal8Bit(e.what()));
    QTimer::singleShot(0, this, [this] { close(); });
    if (!slowDown_->hasBurner()) createBurner();
}

widgets::Dialogs& Tform1::dialogs() { return *dialogs_; }

void Tform1::showNotice(const QString& text) {
    if (!startingUp_) return ui_->StatusBar1->setText(text);
    if (!text.isEmpty()) startupNotices_.append(text);
    QStringList said = startupNotices_;
    said.removeAll(QString());
    ui_->StatusBar1->setText(said.join("   "));
}

QString Tform1::rightsNote() const { return QString::fromStdString(slowDown_->rightsNote()); }

void Tform1::createBurner() {
    slowDown_->createBurner(services_.processors);
    ui_->AccurateSlowdown1->setChecked(slowDown_->Mode() == EngineMode::Accurate);
}

void Tform1::paintEvent(QPaintEvent* event) {
    FormPaint();
    QMainWindow::paintEvent(event);
}

void Tform1::closeEvent(QCloseEvent* event) {
    // FormClose: closing the main window ends the program, also when it is
    // hidden in the tray. The burners are not waited for.
    QMainWindow::closeEvent(event);
    QCoreApplication::quit();  // the program's exit status is exitStatus()
}

void Tform1::AppHint(const QString& hint) { ui_->StatusBar1->setText(hint); }

}  // namespace shell
