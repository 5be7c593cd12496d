// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and stopping the slow-down, the factor on the track bar, and what
// the factor means in clock speed.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "engine/factor.h"
#include "main_window_controls.h"
#include "shell/main_window.h"
#include "speed_labels.h"
#include "unattended_dialogs.h"
#include "widgets/gauge.h"

namespace shell {

using engine::clampFactor;
using engine::EngineMode;

void Tform1::StartSlowDown(int32_t factor) {
    ui_->TrackBar1->setValue(clampFactor(factor));  // a change runs TrackBar1Change
    ui_->Button1->setText("Stop!!!");
    slowDown_->markRunning();
    TrackBar1Change();
    ui_->measureTicker->start();
    ui_->Launch->setEnabled(false);
    ui_->TunetoyourCPU1->setEnabled(false);
}

namespace {
const char* const kStopFailed =
    "The slow-down could not be stopped: the system did not pass the request on to the burner threads (%1). "
    "It is still running; press \"Stop!!!\" again, or close Lentora to end it.";
constexpr int kSessionsLookMs = 500;
const char* const kStartFailed =
    "The slow-down could not be started: the system did not pass the request on to the burner threads (%1).";
}  // namespace

void Tform1::StopSlowDown(int32_t position) {
    if (auto failure = slowDown_->Stop().failure())
        keepRunningAfterFailedStop(position, QString::fromLocal8Bit(failure->reason));
    else
        finishStop(position);
}

// The burners still burn, so the window goes on saying so, and the button
// stays there to try again.
void Tform1::keepRunningAfterFailedStop(int32_t position, const QString& reason) {
    ui_->Button1->setEnabled(true);
    ui_->TrackBar1->setEnabled(true);
    ui_->TrackBar1->setValue(position);
    dialogs_->error(this, QString(kStopFailed).arg(reason));
}

void Tform1::finishStop(int32_t position) {
    slowDown_->markStopped();
    hideMeasured();
    ui_->Button1->setText("Start!!!");
    setWindowTitle(kCaption);
    ui_->Launch->setEnabled(true);
    ui_->TrackBar1->setEnabled(true);
    ui_->Button1->setEnabled(true);
    ui_->TunetoyourCPU1->setEnabled(true);
    ui_->TrackBar1->setValue(position);
}

void Tform1::Button1Click() {
    if (slowDown_->Running()) {
        StopSlowDown(ui_->TrackBar1->value());
    } else {
        StartSlowDown(ui_->TrackBar1->value());
        if (auto failure = slowDown_->Resume().failure()) {
            finishStop(ui_->TrackBar1->value());
            dialogs_->error(this, QString(kStartFailed).arg(QString::fromLocal8Bit(failure->reason)));
        } else {
            QTimer::singleShot(kSessionsLookMs, this, [this] { followSessionLowering(false); });
        }
    }
}

// The other sessions are lowered on a worker, one a tenth of a second: what
// is not lowered after a moment is said until it is.
void Tform1::followSessionLowering(bool wasWaiting) {
    const bool waiting = slowDown_->Running() && slowDown_->currentStanding().sessionsWaiting;
    if (waiting || wasWaiting) {
        ui_->StatusBar1->setText(rightsNote());
        updateRightsIndicator();
    }
    if (waiting) QTimer::singleShot(kSessionsLookMs, this, [this] { followSessionLowering(true); });
}

void Tform1::TrackBar1Change() {
    const int32_t p = slowDown_->SetFactor(ui_->TrackBar1->value());
    ui_->Gauge1->setProgress(p);
    if (slowDown_->Running()) {
        runFactor_ = p;
        setWindowTitle(QString("%1 - Running at %2%").arg(kCaption).arg(p));
    }
    UpdateSpeedLabels();
}

void Tform1::UpdateSpeedLabels() {
    const SpeedTexts texts = speedTexts(settings_.processorUnknown ? nullptr : cpuid_.get(), ui_->TrackBar1->value());
    ui_->Label3->setText(texts.processor);
    ui_->Label4->setText(texts.real);
    ui_->Label5->setText(texts.virtualSpeed);
    if (texts.known)
        for (QLabel* l : {ui_->Label3, ui_->Label4, ui_->Label5}) l->adjustSize();
}

void Tform1::loadBenchmark() {
    const int32_t time = slowDown_->loadBenchmark([this] { RunBenchmark(); });
    ui_->benchtime->setText(QString::number(time));
}

void Tform1::RunBenchmark() {
    setWindowTitle("Calculating your system speed , Please wait a little ....");
    setEnabled(false);
    const auto failure = slowDown_->measureBenchmark(services_.benchmarkDraws).failure();
    ui_->benchtime->setText(QString::number(slowDown_->benchmarkTime()));
    if (failure) {
        // The new time is in use; it only could not be kept for the next start.
        dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
    }
    setWindowTitle(kCaption);
    setEnabled(true);
}

void Tform1::FormPaint() { ui_->Gauge1->setProgress(ui_->TrackBar1->value()); }

void Tform1::TunetoyourCPU1Click() { RunBenchmark(); }

void Tform1::AccurateSlowdown1Click() {
    const EngineMode mode = ui_->AccurateSlowdown1->isChecked() ? EngineMode::Accurate : EngineMode::Classic;
    const auto failure = slowDown_->chooseEngineMode(mode).failure();
    if (!rightsNote().isEmpty()) ui_->StatusBar1->setText(rightsNote());
    updateRightsIndicator();
    if (failure) dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
}

}  // namespace shell
