// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the slow-down controls above, the launch box below, the
// status bar at the bottom. The window only wires controls to the engine,
// the processor identification, the command line and the launch box, and
// shows the outcome.
#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <optional>

#include "cmdline/parameters.h"
#include "cpuid/cpuid.h"
#include "engine/slowdown.h"
#include "launch/launcher.h"
#include "shell/services.h"
#include "shell/version.h"

namespace launch {
class LaunchList;
}  // namespace launch

namespace shell {

struct MainWindowControls;
class THintTracker;
class TProperties;
class UnattendedDialogs;
class TAboutBox;
class WatchHostAdapter;

// The exit status when Lentora itself fails (no display, no thread to watch a
// program with, a start-up that cannot be completed): as for wrappers such as
// env or timeout, apart from the program's own statuses and the shell's 126 and 127.
inline constexpr int kOwnFailureStatus = 125;
// The exit status after a refused command line, as shells and coreutils give
// for wrong usage: nothing was started.
inline constexpr int kRefusedCommandLineStatus = 2;
inline constexpr int kClientWidth = 529;
inline constexpr int kHeightLaunchBoxHidden = 196;
inline constexpr int kHeightLaunchBoxShown = 360;

class Tform1 : public QMainWindow {
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

    // What programs really get, measured once a second while the slow-down runs.
    void measureTick();

    // Launch box.
    void DownClick();
    void UpClick();
    void LaunchClick();
    void launchapp(const launch::ApplicationCommand& command, int32_t factor, bool minimize, bool close);
    void sectickerTimer();
    void FormActivate();
    void AddClick();
    void PropertybuttonClick();
    void RemoveClick();

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

    // State, read by the launch box and by tests.
    launch::LaunchList& launchList() { return *launchList_; }
    launch::waitforapplication* watcher() { return launches_->watch(); }
    bool slowDownRunning() const { return slowDown_->Running(); }
    int32_t benchmarkTime() const { return slowDown_->benchmarkTime(); }
    bool processorUnknown() const { return settings_.processorUnknown; }
    engine::TBurner& burner() { return slowDown_->Burner(); }
    cpuid::TCPUID* cpuid() { return cpuid_.get(); }
    int clientHeight() const;
    // The window's message boxes: on a start that runs by itself they go to
    // standard error and the status bar instead (see UnattendedDialogs).
    widgets::Dialogs& dialogs();
    // What the program's exit status is to be once the window closed.
    int exitStatus() const { return exitStatus_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void minimizeWhenMapped();
    void buildWindow();
    void connectControls();
    void FormCreate();
    void failStartUp(const std::exception& e);
    void loadBenchmark();
    // Said in the status bar when the rights don't let the burners hold the
    // processor against programs of other sessions; empty otherwise.
    QString rightsNote() const;
    void updateRightsIndicator();
    // While the other sessions wait to be lowered, the note says so.
    void followSessionLowering(bool wasWaiting);
    void setClientHeight(int height);
    void createBurner();
    void finishStop(int32_t position);
    void keepRunningAfterFailedStop(int32_t position);
    std::unique_ptr<WatchHostAdapter> makeWatchHost();
    void watchEnded(int32_t position, bool stopped);
    void loadLaunchList();
    void endUnwatchedLaunch(int32_t position, bool close);
    void endAfterRefusedCommandLine();
    void createPropertiesDialog();
    void createAboutBox();
    void setUpTrayIcon();
    void showNotice(const QString& text);
    pid_t launchedProgram() const;
    double realMhz() const;
    void showMeasured(const engine::Readout& readout);
    void hideMeasured();
    void printClosingLine() const;

    Services services_;
    std::unique_ptr<UnattendedDialogs> dialogs_;
    std::unique_ptr<MainWindowControls> ui_;
    // The start-up's status: its text, the rights note, then the messages of
    // a start that runs by itself, in the order they came.
    bool startingUp_ = true;
    QStringList startupNotices_;
    // Lentora's exit status: with "/CLOSE" the program's (see
    // waitforapplication::exitStatus), kOwnFailureStatus when Lentora itself
    // could not go on, kRefusedCommandLineStatus after a refused command line.
    int exitStatus_ = 0;
    // A refused command line that held "/CLOSE": a launcher waits for Lentora,
    // which ends by itself once the status bar has said so.
    bool closeAfterRefusal_ = false;
    // A launch asked to minimize before the window was mapped (see
    // minimizeWhenMapped): the caption of that moment, for the tray's tooltip.
    std::optional<QString> minimizeOnExpose_;
    QWidget* client_ = nullptr;
    // The benchmark time and the burners, shared with the burner threads.
    // Never freed while the process runs: a burner stopped by its suspension
    // sits in the middle of a cycle, and freeing it means resuming and joining
    // it, which at a high factor and time-critical priority holds the
    // processor for the rest of that cycle (up to seconds at 98 % in the
    // classic engine).
    engine::TSlowDown* slowDown_;
    cmdline::CommandLineSettings settings_;
    std::unique_ptr<cpuid::TCPUID> cpuid_;
    THintTracker* hints_ = nullptr;
    launch::LaunchList* launchList_ = nullptr;
    TProperties* Properties = nullptr;
    TAboutBox* AboutBox = nullptr;
    // The watcher's host outlives every watch: launches_ goes first and
    // detaches a watch still running (see ~Tform1).
    std::unique_ptr<WatchHostAdapter> watchHost_;
    std::unique_ptr<launch::Launcher> launches_;
    // The last plain word on a disagreement, said once until it changes.
    QString disagreement_;
    QString statusBeforeWord_;  // what the word replaced, back once the figure agrees again
    // The factor the slow-down ran at (the track bar goes back at a launch's end).
    int32_t runFactor_ = 0;
    bool commandLineLaunched_ = false;
    bool installedAppHandlers_ = false;
};

}  // namespace shell
