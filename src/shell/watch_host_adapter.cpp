// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch_host_adapter.h"

#include <cstdio>

namespace shell {

WatchHostAdapter::WatchHostAdapter(engine::TSlowDown& slowDown) : slowDown_(slowDown) {}

platform::Result<> WatchHostAdapter::resumeBurnerFromWatcher() { return slowDown_.Resume(); }

void WatchHostAdapter::reportResumeFailure(launch::ProgramFate program, const std::string& reason) {
    // No burner thread could be created or reached: the watch goes on, unslowed, and says so.
    const char* const fate = program == launch::ProgramFate::Runs    ? " The program runs at full speed."
                             : program == launch::ProgramFate::Ended ? " The program has ended."
                                                                     : " The program did not start either.";
    emit resumeFailed(QString("The slow-down could not be started: the system did not create or reach the burner "
                              "threads (%1).%2")
                          .arg(QString::fromLocal8Bit(reason), fate));
}

void WatchHostAdapter::stopSlowDownFromWatcher(int32_t position) {
    // The slow-down ends now, not when the window gets to it.
    if (auto failure = slowDown_.suspendNow().failure())
        emit stopFailed(position, QString::fromLocal8Bit(failure->reason));
    else
        emit slowDownEnded(position);
}

void WatchHostAdapter::restoreFactor(int32_t factor) { slowDown_.restoreFactor(factor); }

void WatchHostAdapter::setProgress(int percent) { emit progressChanged(percent); }

void WatchHostAdapter::enableTicker() { emit tickerWanted(true); }

void WatchHostAdapter::disableTicker() { emit tickerWanted(false); }

void WatchHostAdapter::deactivateTrayIcon() { emit trayIconOff(); }

void WatchHostAdapter::repaintAndUpdateSpeedLabels() { emit speedChanged(); }

void WatchHostAdapter::reportStartFailure(const std::string& message) {
    // The status bar shows it; standard error too, for a start from a
    // shortcut with "/CLOSE", whose window is gone a second later.
    std::fprintf(stderr, "lentora: %s\n", message.c_str());
    emit startFailed(QString::fromLocal8Bit(message));
}

}  // namespace shell
