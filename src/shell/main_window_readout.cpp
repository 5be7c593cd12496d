// SPDX-License-Identifier: GPL-3.0-or-later
// What programs really get while the slow-down runs: the measured readout
// beside the rights box, the plain word where it and the window disagree,
// and the line a launch that closes Lentora ends with on standard error.
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <cstdio>

#include "engine/readout_text.h"
#include "main_window_controls.h"
#include "shell/main_window.h"

namespace shell {

// The launched program while its watch runs; 0 for a slow-down of its own.
pid_t Tform1::launchedProgram() const {
    const launch::waitforapplication* watch = launches_->watch();
    return watch && !watch->finished() ? watch->applicationPid() : 0;
}

double Tform1::realMhz() const { return cpuid_ && !settings_.processorUnknown ? cpuid_->ProcessorSpeed() : 0.0; }

void Tform1::measureTick() {
    if (!slowDown_->Running()) return;
    const engine::Readout readout = slowDown_->measure(launchedProgram());
    if (readout.measured) showMeasured(readout);
}

void Tform1::showMeasured(const engine::Readout& readout) {
    const int32_t factor = slowDown_->Factor();
    showReadout(*ui_, QString::fromStdString(engine::readoutText(readout, realMhz())),
                QString::fromStdString(engine::readoutDetails(readout, factor)));
    // Said once, not every second: the status bar also carries hints.
    const QString word =
        QString::fromStdString(engine::disagreementText(readout, factor, slowDown_->currentStanding()));
    if (!word.isEmpty() && word != disagreement_) {
        if (disagreement_.isEmpty()) statusBeforeWord_ = ui_->StatusBar1->text();
        ui_->StatusBar1->setText(word);
    } else if (word.isEmpty() && !disagreement_.isEmpty() && ui_->StatusBar1->text() == disagreement_) {
        // The trim caught up: a word left standing would claim what is no longer true.
        ui_->StatusBar1->setText(statusBeforeWord_);
    }
    disagreement_ = word;
}

void Tform1::hideMeasured() {
    ui_->measureTicker->stop();
    showReadout(*ui_, {}, {});
    disagreement_.clear();
}

void Tform1::printClosingLine() const {
    const launch::waitforapplication* watch = launches_->watch();
    if (!watch || watch->applicationPid() <= 0) return;  // nothing ran: the start's failure was said
    const int32_t factor = runFactor_;
    const auto totals = slowDown_->programTotals();
    const std::string line =
        totals ? engine::closingLine(*totals, realMhz(), factor) : engine::unmeasuredClosingLine(factor);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace shell
