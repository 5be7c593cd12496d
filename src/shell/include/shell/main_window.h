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
#include "shell/exit_status.h"
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

    // The window's message boxes: on a start that runs by itself they go to
    // standard error and the status bar instead (see UnattendedDialogs).
    widgets::Dialogs& dialogs();
    // What the program's exit status is to be once the window closed.
    int exitStatus() const { return exit_.code(); }

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
    void keepRunningAfterFailedStop(int32_t position, const QString& reason);
    void connectWatchHost();
    void watchEnded(int32_t position);
    void watchStopFailed(int32_t position, const QString& reason);
    void handBackAfterWatch();
    void showWatchProgress(int percent);
    void runTicker(bool running);
    void hideTrayIcon();
    void refreshSpeed();
    void showError(const QString& text);
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
    // What the exit status is made of, told as it happens.
    ExitStatus exit_;
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
