// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and stopping the slow-down, the factor on the track bar, and what
// the factor means in clock speed.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "engine/factor.h"
#include "engine/speed.h"
#include "shell/mainwindow.h"
#include "speedlabels.h"
#include "unattended_dialogs.h"
#include "widgets/gauge.h"

namespace shell {

using engine::clampFactor;
using engine::EngineMode;
using engine::virtualSpeed;

void Tform1::StartSlowDown(int32_t factor) {
    TrackBar1->setValue(clampFactor(factor));  // a change runs TrackBar1Change
    Button1->setText("Stop!!!");
    engine_->slowDown.MarkRunning();
    TrackBar1Change();
    Launch->setEnabled(false);
    TunetoyourCPU1->setEnabled(false);
}

namespace {
const char* const kStopFailed =
    "The slow-down could not be stopped: the system did not pass the request on to the burner threads. "
    "It is still running; press \"Stop!!!\" again, or close Lentora to end it.";
const char* const kStartFailed =
    "The slow-down could not be started: the system did not pass the request on to the burner threads.";
}  // namespace

void Tform1::StopSlowDown(int32_t position) {
    if (engine_->slowDown.Stop())
        finishStop(position);
    else
        keepRunningAfterFailedStop(position);
}

// The burners still burn, so the window goes on saying so, and the button
// stays there to try again.
void Tform1::keepRunningAfterFailedStop(int32_t position) {
    Button1->setEnabled(true);
    TrackBar1->setEnabled(true);
    TrackBar1->setValue(position);
    dialogs_->error(this, kStopFailed);
}

void Tform1::finishStop(int32_t position) {
    engine_->slowDown.MarkStopped();
    Button1->setText("Start!!!");
    setWindowTitle(kCaption);
    Launch->setEnabled(true);
    TrackBar1->setEnabled(true);
    Button1->setEnabled(true);
    TunetoyourCPU1->setEnabled(true);
    TrackBar1->setValue(position);
}

void Tform1::Button1Click() {
    if (engine_->slowDown.Running()) {
        StopSlowDown(TrackBar1->value());
    } else {
        StartSlowDown(TrackBar1->value());
        if (!engine_->slowDown.Resume()) {
            finishStop(TrackBar1->value());
            dialogs_->error(this, kStartFailed);
        }
    }
}

void Tform1::TrackBar1Change() {
    ++trackBarChanges_;
    const int32_t p = engine_->slowDown.SetFactor(TrackBar1->value());
    Gauge1->setProgress(p);
    if (engine_->slowDown.Running()) setWindowTitle(QString("%1 - Running at %2%").arg(kCaption).arg(p));
    UpdateSpeedLabels();
}

void Tform1::UpdateSpeedLabels() {
    if (settings_.processorUnknown || !cpuid_) {
        Label4->setText("Real CPU speed: Unknown");
        Label3->setText("CPU to Kill : Unknown");
        Label5->setText("Virtual CPU speed: Unknown");
        return;
    }
    const double s = cpuid_->ProcessorSpeed();
    const double v = virtualSpeed(s, TrackBar1->value());
    Label4->setText("Real CPU speed: " + formatMhz(s) + " Mhz");
    Label3->setText("CPU to Kill : " + QString::fromStdString(cpuid_->ProcessorDescription()));
    Label5->setText("Virtual CPU speed: " + formatMhz(v) + " Mhz");
    for (QLabel* l : {Label3, Label4, Label5}) l->adjustSize();
}

void Tform1::FormPaint() { Gauge1->setProgress(TrackBar1->value()); }

void Tform1::TunetoyourCPU1Click() { RunBenchmark(); }

void Tform1::AccurateSlowdown1Click() {
    const EngineMode mode = AccurateSlowdown1->isChecked() ? EngineMode::Accurate : EngineMode::Classic;
    const auto failure = engine_->slowDown.ChooseEngineMode(mode);
    if (!rightsNote().isEmpty()) StatusBar1->setText(rightsNote());
    UpdateRightsIndicator();
    if (failure) dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
}

}  // namespace shell
