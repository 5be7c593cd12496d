// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's creation: the start-up sequence that brings up every
// part of the program, in its fixed order.
#include "shell/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstdio>

#include "cmdline/statustext.h"
#include "engine/factor.h"
#include "hinttracker.h"
#include "launch/launchlist.h"
#include "screenplace.h"
#include "unattended_dialogs.h"

namespace shell {

using cmdline::parameters;
using cmdline::RejectedParameter;
using cmdline::startsUnattended;
using cmdline::startupStatusText;
using cpuid::TCPUID;
using engine::EngineMode;
using engine::kMaxFactor;
using launch::LaunchList;

namespace {
// Objects whose threads outlive the window are never freed: they end with
// the process (the engine's state, see its declaration, and a watch still
// running at close). Keeping them here leaves them reachable to leak checkers.
template <typename T>
T* keepForever(std::unique_ptr<T> object) {
    static auto* kept = new std::vector<std::shared_ptr<void>>;
    T* raw = object.get();
    kept->push_back(std::shared_ptr<T>(std::move(object)));
    return raw;
}
}  // namespace

Tform1::Tform1(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      dialogs_(std::make_unique<UnattendedDialogs>(services_.dialogs, [this](const QString& t) { showNotice(t); })),
      engine_(keepForever(std::make_unique<EngineState>(services_))) {
    dialogs_->setUnattended(startsUnattended(services_.parameters));
    buildWindow();
    try {
        FormCreate();
    } catch (const std::exception& e) {
        // The start-up cannot be completed: tell the user and end cleanly.
        exitStatus_ = kOwnFailureStatus;
        commandLineLaunched_ = true;  // nothing is launched any more
        dialogs_->error(this, QString::fromLocal8Bit(e.what()));
        QTimer::singleShot(0, this, [this] { close(); });
        if (!engine_->slowDown.HasBurner()) createBurner();
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
    // A watch still running goes on without the window, and ends with the
    // process. It is not joined: it may be waiting for its application to
    // end. Once detached it touches neither the window nor the burners, and
    // no tick reaches it again; what it still uses lives on: the launch
    // timing (kept with the burners) and the process starter (the program's
    // own, for the life of the process).
    if (watcher_ && !watcher_->finished()) {
        watcher_->detachHost();
        keepForever(std::move(watcher_));
    }
    // The burners stay suspended for good; no thread is joined. The session's
    // group goes back as it was found (also done at exit and on the
    // termination signals, for the ways out that skip this).
    engine_->slowDown.Release();
}

void Tform1::FormCreate() {
    services_.clock.sleep(services_.startupSleepMs);
    engine_->slowDown.ApplyStartupPriorities();
    setClientHeight(kHeightLaunchBoxHidden);
    loadBenchmark();
    launchList_ = new LaunchList(this);
    connectLaunchBox();
    identifyProcessor();
    parseCommandLine();
    const QString startupText = QString::fromLocal8Bit(startupStatusText(commandLineOk_, settings_));
    createBurner();
    // What the rights allow follows the start-up text, once the burners know
    // it; then what a start that runs by itself had to say.
    startupNotices_.prepend(rightsNote());
    startupNotices_.prepend(startupText);
    showNotice({});
    UpdateRightsIndicator();
    UpdateSpeedLabels();
    TrackBar1Change();
    loadLaunchList();
    setUpTrayIcon();
    installedAppHandlers_ = true;
    hints_ = new THintTracker(this);
    hints_->OnHint = [this](const QString& hint) { AppHint(hint); };
    qApp->installEventFilter(hints_);
    // Nothing to launch: whoever started Lentora uses its window.
    if (settings_.application.empty()) dialogs_->setUnattended(false);
}

widgets::Dialogs& Tform1::dialogs() { return *dialogs_; }

bool Tform1::unattended() const { return dialogs_->unattended(); }

void Tform1::showNotice(const QString& text) {
    if (!startingUp_) return StatusBar1->setText(text);
    if (!text.isEmpty()) startupNotices_.append(text);
    QStringList said = startupNotices_;
    said.removeAll(QString());
    StatusBar1->setText(said.join("   "));
}

QString Tform1::rightsNote() const { return QString::fromStdString(engine_->slowDown.RightsNote()); }

void Tform1::loadBenchmark() {
    const int32_t time = engine_->slowDown.LoadBenchmark([this] { RunBenchmark(); });
    benchtime->setText(QString::number(time));
}

void Tform1::RunBenchmark() {
    ++benchmarkRuns_;
    setWindowTitle("Calculating your system speed , Please wait a little ....");
    setEnabled(false);
    const auto failure = engine_->slowDown.MeasureBenchmark(services_.benchmarkDraws);
    benchtime->setText(QString::number(engine_->slowDown.BenchmarkTime()));
    if (failure) {
        // The new time is in use; it only could not be kept for the next start.
        dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
    }
    setWindowTitle(kCaption);
    setEnabled(true);
}

void Tform1::identifyProcessor() {
    auto identified = cpuid::createCPUID(services_.processor, services_.clock, services_.machineRegistry);
    if (identified)
        cpuid_ = std::move(*identified);
    else
        settings_.processorUnknown = true;  // nothing is shown: the processor is only unknown
}

void Tform1::parseCommandLine() {
    const double speed = cpuid_ ? cpuid_->ProcessorSpeed() : 0.0;
    std::vector<RejectedParameter> rejected;
    commandLineOk_ = parameters(
        services_.parameters, settings_, speed,
        [this] { dialogs_->information(this, "Information", "Can't recognize your cpu , /Virtspeed is not allowed"); },
        kMaxFactor, &rejected);
    // The status bar says only that the command line is wrong; a terminal also learns where.
    for (const RejectedParameter& r : rejected)
        std::fprintf(stderr, "lentora: invalid parameter \"%s\": %s\n", r.parameter.c_str(), r.reason.c_str());
}

void Tform1::createBurner() {
    engine_->slowDown.CreateBurner(services_.processors);
    AccurateSlowdown1->setChecked(engine_->slowDown.Mode() == EngineMode::Accurate);
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

void Tform1::AppHint(const QString& hint) { StatusBar1->setText(hint); }

}  // namespace shell
