// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place where a watcher's thread meets the window. The burners'
// part of a call happens at once, on the watcher's thread; the window's part
// is news, given as a signal that the window receives queued on its own
// thread, in the order of the calls. News for a window that is gone by then
// is dropped with it, and a watch still running at close is detached from
// its host (see launch::Launcher), so nothing reaches the window afterwards.
// The adapter touches no control: it reports, the window shows.
#include <QObject>
#include <QString>

#include "engine/slowdown.h"
#include "launch/watcher.h"

namespace shell {

class WatchHostAdapter : public QObject, public launch::WatchHost {
    Q_OBJECT
public:
    explicit WatchHostAdapter(engine::TSlowDown& slowDown);

    platform::Result<> resumeBurnerFromWatcher() override;
    void reportResumeFailure(launch::ProgramFate program, const std::string& reason) override;
    void stopSlowDownFromWatcher(int32_t position) override;
    void restoreFactor(int32_t factor) override;
    void setProgress(int percent) override;
    void enableTicker() override;
    void disableTicker() override;
    void deactivateTrayIcon() override;
    void repaintAndUpdateSpeedLabels() override;
    void reportStartFailure(const std::string& message) override;

signals:
    // The watch ended the slow-down.
    void slowDownEnded(int position);
    // The watch's end found burners it could not stop, for the reason given.
    void stopFailed(int position, const QString& reason);
    void progressChanged(int percent);
    void tickerWanted(bool running);
    void trayIconOff();
    void speedChanged();
    // For an error box: the burners could not be resumed.
    void resumeFailed(const QString& text);
    // For the status bar: the program could not be started.
    void startFailed(const QString& text);

private:
    engine::TSlowDown& slowDown_;
};

}  // namespace shell
