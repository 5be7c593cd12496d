// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the slow-down controls above, the launch box below, the
// status bar at the bottom. The window only wires controls to the engine,
// the processor identification, the command line and the launch box.
#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>

#include "cmdline/parameters.h"
#include "cpuid/cpuid.h"
#include "engine/slowdown.h"
#include "launch/watcher.h"
#include "shell/services.h"
#include "shell/version.h"

class QAction;
class QFrame;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;

namespace widgets {
class TGauge;
class TTaskIcon;
}  // namespace widgets

namespace launch {
class LaunchList;
class waitforapplication;
}  // namespace launch

namespace shell {

class THintTracker;
class TProperties;
class UnattendedDialogs;
class TAboutBox;

// The exit status when Lentora itself fails (no display, no thread to watch a
// program with, a start-up that cannot be completed): as for wrappers such as
// env or timeout, apart from the program's own statuses and the shell's 126 and 127.
inline constexpr int kOwnFailureStatus = 125;
inline constexpr int kClientWidth = 529;
inline constexpr int kHeightLaunchBoxHidden = 196;
inline constexpr int kHeightLaunchBoxShown = 360;

class Tform1 : public QMainWindow, public launch::WatchHost {
    Q_OBJECT
public:
    explicit Tform1(Services services, QWidget* parent = nullptr);
    ~Tform1() override;

    // The slow-down control.
    void StartSlowDown(int32_t factor);
    void StopSlowDown(int32_t position);
    void UpdateSpeedLabels();
    void TrackBar1Change();
    void Button1Click();
    void FormPaint();
    void TunetoyourCPU1Click();
    void AccurateSlowdown1Click();
    void RunBenchmark();

    // Launch box.
    void DownClick();
    void UpClick();
    void LaunchClick();
    void launchapp(const launch::ApplicationCommand& command, int32_t factor, bool minimize, bool close);
    void sectickerTimer();
    void FormActivate();
    // The launch list's buttons and the properties dialog (created once, reused).
    void AddClick();
    void PropertybuttonClick();
    void RemoveClick();
    TProperties* Properties = nullptr;
    TAboutBox* AboutBox = nullptr;
    launch::LaunchList& launchList() { return *launchList_; }
    launch::waitforapplication* watcher() { return watcher_.get(); }
    launch::LaunchTiming& timing() { return engine_->timing; }
    widgets::TTaskIcon* tiTray = nullptr;
    // The tray icon's right-click menu; its "Quit" is also the window's Ctrl+Q.
    QMenu* TrayMenu = nullptr;
    QAction* Restore1 = nullptr;
    QAction* Quit1 = nullptr;

    // What the watcher asks, from its own thread. The window is the host of
    // every watcher it creates and outlives it as such: it detaches a watch
    // still running when it goes. The burners' part happens at once on the
    // watcher's thread; everything else is posted to the window's thread,
    // through onWindowThread only, so it arrives in the order asked.
    void ResumeBurnerFromWatcher() override;
    // The burners stop at once, the window follows on its own thread.
    void StopSlowDownFromWatcher(int32_t position) override;
    void RestoreFactor(int32_t factor) override;
    void SetProgress(int percent) override;
    void EnableTicker() override;
    void DisableTicker() override;
    void DeactivateTrayIcon() override;
    void RepaintAndUpdateSpeedLabels() override;
    void ReportStartFailure(const std::string& message) override;

    // Tray.
    void AppMinimize();
    void AppRestore();
    void tiTrayDblClick();
    void Quit1Click();
    void AppHint(const QString& hint);

    // Help menu and About box.
    void Contents1Click();
    void Commandline1Click();
    void About1Click();

    // State, read by tests and the launch box.
    bool slowDownRunning() const { return engine_->slowDown.Running(); }
    int32_t benchmarkTime() const { return engine_->slowDown.BenchmarkTime(); }
    bool processorUnknown() const { return settings_.processorUnknown; }
    const cmdline::CommandLineSettings& settings() const { return settings_; }
    bool commandLineOk() const { return commandLineOk_; }
    engine::TBurner& burner() { return engine_->slowDown.Burner(); }
    engine::TSlowDown& slowDown() { return engine_->slowDown; }
    cpuid::TCPUID* cpuid() { return cpuid_.get(); }
    int trackBarChanges() const { return trackBarChanges_; }
    int benchmarkRuns() const { return benchmarkRuns_; }
    // Said in the status bar when the rights don't let the burners hold the
    // processor against programs of other sessions; empty otherwise.
    QString rightsNote() const;
    // The status bar's permanent indicator of what the slow-down holds
    // against; hints and launch texts never replace it.
    void UpdateRightsIndicator();
    int clientHeight() const;
    void setClientHeight(int height);
    // The window's message boxes: on a start that runs by itself they go to
    // standard error and the status bar instead (see UnattendedDialogs).
    widgets::Dialogs& dialogs();
    bool unattended() const;
    // What the program's exit status is to be once the window closed.
    int exitStatus() const { return exitStatus_; }

    // Controls, named as in the window's design.
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
    QLabel* RightsIndicator = nullptr;
    QAction* TunetoyourCPU1 = nullptr;
    QAction* AccurateSlowdown1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* Commandline1 = nullptr;
    QAction* About1 = nullptr;
    QTimer* secticker = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void buildMenu();
    void buildUpperPart(QWidget* client);
    void buildLaunchBox(QWidget* client);
    void FormCreate();
    void loadBenchmark();
    void identifyProcessor();
    void parseCommandLine();
    void createBurner();
    void finishStop(int32_t position);
    void keepRunningAfterFailedStop(int32_t position);
    void loadLaunchList();
    void connectLaunchBox();
    void endUnwatchedLaunch();
    void createPropertiesDialog();
    void createAboutBox();
    void setTabOrder();
    void setUpTrayIcon();
    void onWindowThread(std::function<void()> work);
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void showNotice(const QString& text);

    Services services_;
    std::unique_ptr<UnattendedDialogs> dialogs_;
    // The start-up's status: its text, the rights note, then the messages of
    // a start that runs by itself, in the order they came.
    bool startingUp_ = true;
    QStringList startupNotices_;
    // Lentora's exit status: with "/CLOSE" the program's (see
    // waitforapplication::exitStatus), kOwnFailureStatus when Lentora itself
    // could not go on.
    int exitStatus_ = 0;
    QWidget* client_ = nullptr;
    // The slow-down (the benchmark time and the burners, shared with the
    // burner threads), and
    // the launch timing, shared with the watchers. Never freed while the
    // process runs: a burner stopped by its suspension sits in the middle of
    // a cycle, and freeing it means resuming and joining it, which at a high
    // factor and time-critical priority holds the processor for the rest of
    // that cycle (up to seconds at 98 % in the classic engine); a watcher
    // detached at close still reads the timing.
    struct EngineState {
        explicit EngineState(Services& services) : slowDown(services.system, services.registry, services.clock) {}
        engine::TSlowDown slowDown;
        launch::LaunchTiming timing;
    };
    EngineState* engine_;
    bool commandLineOk_ = true;
    cmdline::CommandLineSettings settings_;
    std::unique_ptr<cpuid::TCPUID> cpuid_;
    THintTracker* hints_ = nullptr;
    launch::LaunchList* launchList_ = nullptr;
    // The latest watch. Replaced only once it finished (the Launch button is
    // disabled until then). One still running when the window goes is
    // detached and kept, never joined: it may be waiting for its application
    // to end (see ~Tform1).
    std::unique_ptr<launch::waitforapplication> watcher_;
    bool commandLineLaunched_ = false;
    std::mutex startFailureMutex_;
    std::string startFailure_;  // the latest start failure, for the status bar
    bool installedAppHandlers_ = false;
    int trackBarChanges_ = 0;
    int benchmarkRuns_ = 0;
};

}  // namespace shell
