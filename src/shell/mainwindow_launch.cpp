// The launch box: launching an entry or the command line's application, the
// one-second timer that paces the watcher, and the watcher's window changes.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "cmdline/inttext.h"
#include "launch/launchfile.h"
#include "launch/launchlist.h"
#include "launch/tokens.h"
#include "shell/controls/dialogs.h"
#include "shell/controls/taskicon.h"
#include "shell/mainwindow.h"

void Tform1::loadLaunchList() {
    std::error_code ec;
    if (!std::filesystem::exists(services_.launchFile, ec)) return;
    LoadResult loaded = loadLaunchFile(services_.launchFile);
    if (!loaded.error.empty()) services_.dialogs.error(this, QString::fromLocal8Bit(loaded.error));
    launchList_->setEntries(std::move(loaded.entries));
}

void Tform1::connectLaunchBox() {
    ListBox1->setModel(launchList_);
    ListBox1->installEventFilter(this);
    connect(ListBox1, &QListView::doubleClicked, this, [this] { LaunchClick(); });
    connect(Launch, &QPushButton::clicked, this, [this] { LaunchClick(); });
    connect(secticker, &QTimer::timeout, this, [this] { sectickerTimer(); });
}

void Tform1::LaunchClick() {
    const int i = ListBox1->currentIndex().row();
    if (!Launch->isEnabled() || i < 0 || i >= launchList_->count()) return;
    const LaunchEntry& entry = launchList_->entry(i);
    const int32_t factor = lenientInt(entry.factor);
    engine_->timing.runForSeconds = lenientInt(entry.runFor);
    engine_->timing.waitSeconds = lenientInt(entry.wait);
    launchapp(entry.path, factor, launchMinimizes(entry.minimizeToken), launchCloses(entry.closeToken));
}

void Tform1::launchapp(const std::string& command, int32_t factor, bool minimize, bool close) {
    if (minimize) showMinimized();
    watcher_.reset();  // the previous watch has ended: the Launch button was disabled until then
    watcher_ = std::make_unique<waitforapplication>(*this, *engine_->burner, engine_->timing, services_.processes);
    watcher_->savedFactor = TrackBar1->value();
    watcher_->applicationCommand = command;
    watcher_->closeFlag = close;
    StartSlowDown(factor);
    Button1->setEnabled(false);
    TrackBar1->setEnabled(false);
    repaint();
    watcher_->resume();
}

void Tform1::FormActivate() {
    // Only the first activation launches: launching again whenever a dialog
    // of the program closes would surprise every user.
    if (commandLineLaunched_ || settings_.application.empty()) return;
    commandLineLaunched_ = true;
    engine_->timing.waitSeconds = settings_.waitSeconds;
    engine_->timing.runForSeconds = settings_.runForSeconds;
    launchapp(settings_.application, settings_.factor, settings_.minimize, settings_.close);
}

void Tform1::sectickerTimer() {
    if (!watcher_) return;
    if (watcher_->terminateRequest) {
        secticker->stop();
        close();  // FormClose ends the program
        return;
    }
    watcher_->Tick();
}

void Tform1::onWindowThread(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Tform1::SetProgress(int percent) {
    onWindowThread([this, percent] {
        ProgressBar1->setValue(percent);
        ProgressBar1->repaint();
    });
}

void Tform1::EnableTicker() {
    onWindowThread([this] {
        if (!secticker->isActive()) secticker->start();
    });
}

void Tform1::DisableTicker() {
    onWindowThread([this] { secticker->stop(); });
}

void Tform1::DeactivateTrayIcon() {
    onWindowThread([this] { tiTray->setActive(false); });
}

void Tform1::RepaintAndUpdateSpeedLabels() {
    onWindowThread([this] {
        repaint();
        UpdateSpeedLabels();
    });
}

bool Tform1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(event);
}

bool Tform1::eventFilter(QObject* watched, QEvent* event) {
    // Giving the list box the keyboard focus launches its selected entry.
    if (watched == ListBox1 && event->type() == QEvent::FocusIn) LaunchClick();
    return QMainWindow::eventFilter(watched, event);
}
