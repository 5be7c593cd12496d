// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place where a watcher's thread meets the window. The burners'
// part of a call happens at once, on the watcher's thread; the window's part
// is posted to the window's thread, where the calls arrive in the order they
// were made. Work posted for a window that is gone by then is dropped with it,
// and a watch still running at close is detached from its host (see
// launch::Launcher), so nothing reaches the window afterwards.
#include <QObject>
#include <QString>
#include <functional>
#include <mutex>

#include "engine/slowdown.h"
#include "launch/watcher.h"

namespace shell {

struct MainWindowControls;

// What the window's own handlers do for a watch, always on the window's thread.
struct WatchWindow {
    // The watch ended the slow-down; stopped is false when the burners could not be stopped.
    std::function<void(int32_t position, bool stopped)> slowDownEnded;
    std::function<void()> refreshSpeed;
    std::function<void(const QString& text)> showError;
};

class WatchHostAdapter : public launch::WatchHost {
public:
    // The controls are the window's, and live as long as it does.
    WatchHostAdapter(QObject& window, const MainWindowControls& controls, engine::TSlowDown& slowDown,
                     WatchWindow side);

    bool resumeBurnerFromWatcher() override;
    void reportResumeFailure(launch::ProgramFate program) override;
    void stopSlowDownFromWatcher(int32_t position) override;
    void restoreFactor(int32_t factor) override;
    void setProgress(int percent) override;
    void enableTicker() override;
    void disableTicker() override;
    void deactivateTrayIcon() override;
    void repaintAndUpdateSpeedLabels() override;
    void reportStartFailure(const std::string& message) override;

private:
    void onWindowThread(std::function<void()> work);

    QObject& window_;
    const MainWindowControls& controls_;
    engine::TSlowDown& slowDown_;
    const WatchWindow side_;
    std::mutex failureMutex_;
    QString failureText_;  // the last start failure, for the status bar
};

}  // namespace shell
