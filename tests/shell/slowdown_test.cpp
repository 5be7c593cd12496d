// SPDX-License-Identifier: GPL-3.0-or-later
// The slow-down control as the user drives it: the button, the track bar,
// the caption, the labels and the burners.
#include <sys/resource.h>
#include <QSignalSpy>
#include <fstream>

#include "cpu_time.h"
#include "engine/engine_mode_store.h"
#include "engine/speed.h"
#include "fakes/fake_rights.h"
#include "fakes/fake_run_meter.h"
#include "speed_labels.h"
#include "window_fixture.h"

using namespace shell;
using SlowDownControl = WindowFixture;
using engine::EngineMode;
using engine::kBenchValue;
using engine::kRegistryKey;
using engine::storeMode;
using engine::virtualSpeed;

TEST_F(SlowDownControl, ButtonStartsAndStopsAndTheStateTableHolds) {
    Tform1& f = open();
    expectWindowBack(f);
    EXPECT_EQ(burner().Factor(), 0);
    EXPECT_EQ(ui(f).benchtime->text(), "400");
    EXPECT_EQ(f.centralWidget()->height(), kHeightLaunchBoxHidden);
    EXPECT_EQ(ui(f).Label3->text(), "CPU to Kill : 80486 Processor");
    ui(f).TrackBar1->setValue(45);
    QTest::mouseClick(ui(f).Button1, Qt::LeftButton);
    EXPECT_TRUE(running());
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 45%");
    EXPECT_EQ(ui(f).Button1->text(), "Stop!!!");
    EXPECT_TRUE(ui(f).Button1->isEnabled());
    EXPECT_TRUE(ui(f).TrackBar1->isEnabled());
    EXPECT_FALSE(ui(f).Launch->isEnabled());
    EXPECT_FALSE(ui(f).TunetoyourCPU1->isEnabled());
    EXPECT_EQ(burner().suspendCount(), 0);

    QTest::mouseClick(ui(f).Button1, Qt::LeftButton);
    expectWindowBack(f);
    EXPECT_EQ(ui(f).TrackBar1->value(), 45);
    EXPECT_EQ(burner().Factor(), 45);
}

TEST_F(SlowDownControl, MovingTheTrackBarWhileRunningFollowsAtOnce) {
    Tform1& f = open();
    f.Button1Click();
    ui(f).TrackBar1->setValue(96);
    EXPECT_EQ(burner().Priority(), platform::ThreadPriority::AboveNormal);
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 96%");
    ui(f).TrackBar1->setValue(97);
    EXPECT_EQ(burner().Priority(), platform::ThreadPriority::TimeCritical);
    EXPECT_EQ(burner().Factor(), 97);
    EXPECT_EQ(ui(f).Gauge1->progress(), 97);
    ui(f).TrackBar1->setValue(0);  // keep the machine usable before stopping
    f.Button1Click();
}

// Fault: starting at the track bar's own position moved nothing, so the
// caption never said the slow-down was running.
TEST_F(SlowDownControl, StartClampsTheFactorAndShowsItAlsoWhenTheTrackBarStays) {
    Tform1& f = open();
    f.StartSlowDown(0);  // same position: no change of the track bar
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 0%");
    f.StopSlowDown(0);
    f.StartSlowDown(100);  // clamped to 98
    EXPECT_EQ(ui(f).TrackBar1->value(), 98);
    EXPECT_EQ(burner().Factor(), 98);
    EXPECT_EQ(ui(f).Gauge1->progress(), 98);
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 98%");
    f.StopSlowDown(0);
    f.StartSlowDown(-5);
    EXPECT_EQ(ui(f).TrackBar1->value(), 0);
    f.StopSlowDown(30);
    EXPECT_EQ(ui(f).TrackBar1->value(), 30);
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
}

TEST_F(SlowDownControl, LabelsShowRealAndVirtualSpeedWithTwoDecimals) {
    Tform1& f = open();
    ui(f).TrackBar1->setValue(98);
    EXPECT_EQ(ui(f).Label4->text(), "Real CPU speed: 500.00 Mhz");
    EXPECT_EQ(ui(f).Label5->text(), "Virtual CPU speed: 10.00 Mhz");
    ui(f).TrackBar1->setValue(0);
    EXPECT_EQ(ui(f).Label5->text(), "Virtual CPU speed: 500.00 Mhz");
}

TEST_F(SlowDownControl, UnknownProcessorKeepsUnknownTextsWhileTheGaugeMoves) {
    Tform1& f = open({"/NOCPUID"});
    ui(f).TrackBar1->setValue(40);
    EXPECT_EQ(ui(f).Label4->text(), "Real CPU speed: Unknown");
    EXPECT_EQ(ui(f).Label3->text(), "CPU to Kill : Unknown");
    EXPECT_EQ(ui(f).Label5->text(), "Virtual CPU speed: Unknown");
    EXPECT_EQ(ui(f).Gauge1->progress(), 40);
}

TEST_F(SlowDownControl, FailedIdentificationSetsTheUnknownFlagWithoutAMessage) {
    machine = platform::fakeMachineRegistry(std::nullopt);  // no speed and no counter: creation fails
    Tform1& f = open();
    EXPECT_EQ(ui(f).Label4->text(), "Real CPU speed: Unknown");
    EXPECT_TRUE(dialogs.shown.empty());
}

// Also when no signal can be queued (`prlimit --sigpending=0`): the stop used
// to fail unnoticed, the window said stopped and the burner burned on.
TEST_F(SlowDownControl, StartReallyBurnsAndStopReallyStops) {
    Tform1& f = open();
    rlimit saved{};
    getrlimit(RLIMIT_SIGPENDING, &saved);
    std::shared_ptr<void> restore(nullptr, [&](void*) { setrlimit(RLIMIT_SIGPENDING, &saved); });
    long before = 0;
    for (rlim_t limit : {rlim_t(0), rlim_t(0), saved.rlim_cur}) {
        const rlimit lowered{limit, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_SIGPENDING, &lowered), 0);
        ui(f).TrackBar1->setValue(80);
        f.Button1Click();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        f.Button1Click();
        EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
        EXPECT_TRUE(burner().thread(0).isStopped()) << "limit " << limit;
        const pid_t tid = burner().thread(0).threadId();
        const long used = threadCpuMs(tid);
        EXPECT_GT(used - before, 0) << "it burned again; limit " << limit;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        before = threadCpuMs(tid);
        EXPECT_LE(before - used, 20) << "limit " << limit;
    }
}

TEST_F(SlowDownControl, TuneToYourCpuMeasuresStoresAndShowsTheNewTime) {
    Tform1& f = open();
    QSignalSpy captions(&f, &QWidget::windowTitleChanged);
    ui(f).TunetoyourCPU1->trigger();
    ASSERT_EQ(captions.count(), 2);
    EXPECT_EQ(captions[0][0].toString(), "Calculating your system speed , Please wait a little ....");
    EXPECT_EQ(registry->readDword(kRegistryKey, kBenchValue), ui(f).benchtime->text().toUInt());
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
    EXPECT_TRUE(f.isEnabled());
}

TEST_F(SlowDownControl, AccurateByDefaultClassicStoredAsZeroAndUsedAtTheNextStart) {
    Tform1& f = open();
    EXPECT_TRUE(ui(f).AccurateSlowdown1->isChecked()) << "a store without \"accurate\" runs the accurate engine";
    EXPECT_EQ(burner().Mode(), EngineMode::Accurate);
    ui(f).AccurateSlowdown1->trigger();
    EXPECT_EQ(burner().Mode(), EngineMode::Classic);
    EXPECT_EQ(registry->readDword(kRegistryKey, "accurate"), 0u);
    EXPECT_EQ(system.priorityClasses().back(), platform::PriorityClass::High);
    EXPECT_EQ(system.threadPriorities().back(), platform::ThreadPriority::TimeCritical)
        << "the window's thread stays on top after the class change";
    form.reset();
    Tform1& classic = open();
    EXPECT_FALSE(ui(classic).AccurateSlowdown1->isChecked());
    EXPECT_EQ(burner().Mode(), EngineMode::Classic);
    ui(classic).AccurateSlowdown1->trigger();
    EXPECT_EQ(registry->readDword(kRegistryKey, "accurate"), 1u);
    EXPECT_EQ(system.priorityClasses().back(), platform::PriorityClass::Realtime);
}

// What the window says and does with each answer of the rights ladder.
TEST_F(SlowDownControl, RightsDecideTheNoteTheIndicatorTheSessionGroupAndTheLaunchedPrograms) {
    using platform::GrantKind;
    const platform::LaunchStanding ordinary{}, ownSession{.nice = std::nullopt, .ownSession = true},
        lowest{.nice = engine::kLowestStanding};
    platform::FakeRightsStep ownRealtime("own rights", {GrantKind::RealTime, 99, {}});
    platform::FakeRightsStep service("RealtimeKit", {GrantKind::RealTime, 20, {}});
    struct Case {
        const char* name;
        platform::Rights rights;
        bool sessionAnswer;
        EngineMode mode;
        bool note;
        const char* indicator;
        int windowRealtime;
        bool sessionRaised;
        platform::LaunchStanding launch;
    };
    const platform::Grant nice20{GrantKind::Nice, -20, "own rights"};
    const platform::Grant root{GrantKind::RealTime, 99, "own rights", "root"};
    const platform::Grant capability{GrantKind::RealTime, 99, "own rights", "CAP_SYS_NICE"};
    const platform::Grant rtkit{GrantKind::RealTime, 20, "RealtimeKit"};
    // clang-format off
    // Real-time burners' backups need the session's group raised as well; without rights the
    // other sessions are lowered (the fake groups by session), so the slow-down holds against
    // the user's own programs.
    const Case cases[] = {
        {"root, accurate", {root, nice20, &ownRealtime}, true, EngineMode::Accurate, false, "Real time (root)", 10, true, ownSession},
        {"root, classic", {root, nice20, &ownRealtime}, true, EngineMode::Classic, false, "High priority", 0, true, ownSession},
        {"capability, accurate", {capability, nice20, &ownRealtime}, false, EngineMode::Accurate, false, "Real time (capability)", 10, false, ordinary},
        {"capability, classic", {capability, nice20, &ownRealtime}, false, EngineMode::Classic, true, "Your programs", 0, false, ordinary},
        {"RealtimeKit", {rtkit, {}, &service}, false, EngineMode::Accurate, false, "Real time (RealtimeKit)", 10, false, ordinary},
        {"nice limit, accurate", {{}, nice20, nullptr}, true, EngineMode::Accurate, false, "High priority", 0, true, ownSession},
        {"nothing", {}, false, EngineMode::Accurate, true, "Your programs", 0, false, lowest},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system.setRights(c.rights);
        system.setSessionAnswer(c.sessionAnswer);
        ASSERT_TRUE(storeMode(*registry, c.mode));
        Tform1& f = open({"/SPEED=20", "/bin/true"});
        EXPECT_EQ(ui(f).StatusBar1->text().contains("may not raise its priority"), c.note)
            << ui(f).StatusBar1->text().toStdString();
        EXPECT_TRUE(ui(f).StatusBar1->text().startsWith("runforever")) << "the note follows the start-up text";
        EXPECT_EQ(ui(f).RightsIndicator->text(), c.indicator);
        EXPECT_EQ(ui(f).RightsIndicator->toolTip().contains("may not raise its priority"), c.note);
        EXPECT_EQ(system.threadRealtimes().back(), c.windowRealtime);
        EXPECT_EQ(burner().Realtime(), c.windowRealtime > 0 ? c.windowRealtime - 1 : 0);
        EXPECT_EQ(system.sessionRaised(), c.sessionRaised);
        EXPECT_TRUE(system.launchStandings().back() == c.launch);
        form.reset();
        EXPECT_FALSE(system.sessionRaised()) << "the session's group is put back when the window goes";
    }
}

// Hints take the status bar's line and stop short of the indicator.
TEST_F(SlowDownControl, RightsIndicatorOutlastsHints) {
    system.setRights({});
    Tform1& f = open();
    f.show();
    QTest::mouseMove(ui(f).TrackBar1);
    EXPECT_EQ(ui(f).StatusBar1->text(), "Use the trackbar to select the slow down factor");
    EXPECT_EQ(ui(f).RightsIndicator->text(), "Your programs");
    EXPECT_LE(ui(f).StatusBar1->contentsRect().right(), ui(f).RightsIndicator->geometry().left());
}

// What programs really get is shown beside the rights box while the slow-down
// runs, with a plain word and the standing's reason where it is far from the
// factor's share; the window's own texts stay as they were.
TEST_F(SlowDownControl, MeasuredShareIsShownPerRightsCaseWithAWordWhereItIsFarOff) {
    const platform::Grant root{platform::GrantKind::RealTime, 99, "own rights", "root"};
    platform::FakeRightsStep ownRealtime("own rights", {platform::GrantKind::RealTime, 99, {}});
    struct Case {
        const char* name;
        platform::Rights rights;
        double held;
        const char* readout;
        const char* word;               // "": none
        std::vector<double> idle = {};  // per processor; none: not counted
    };
    // clang-format off
    const Case cases[] = {
        {"root, held", {root, {}, &ownRealtime}, 0.98, "Programs get 2.0 %", ""},
        {"root, a program waited while a processor idled in the free part", {root, {}, &ownRealtime}, 0.98, "Programs get 1.7 %", "", {0.003, 0.02}},
        {"root, nothing wanted the free part", {root, {}, &ownRealtime}, 0.98, "Programs get 2.0 %", "", {0.015, 0.02}},
        {"root, too little left (2.5 times too slow)", {root, {}, &ownRealtime}, 0.992, "Programs get 0.8 %", "about 0.8 %, not 2 %: see Rights. other programs take part"},
        {"root, outweighed", {root, {}, &ownRealtime}, 0.5, "Programs get 50.0 %", "something outweighs the burners"},
        {"nothing, nice 19 against", {}, 0.88, "Programs get 12.0 %", "Your programs get about 12.0 %, not 2 %: see Rights. Lentora may not raise its priority"},
    };
    // clang-format on
    platform::FakeRunMeter meter;
    system.setRunMeter(&meter);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system.setRights(c.rights);
        meter.heldShare = c.held;
        meter.idleShares = c.idle;
        Tform1& f = open();
        ui(f).TrackBar1->setValue(98);
        f.Button1Click();
        engine::TBurner& b = burner();
        waitFor([&] { return b.thread(0).threadId() && (!b.backupsActive() || b.backup(0).threadId()); });
        f.measureTick();  // opens the window
        f.measureTick();
        const QString readout = ui(f).Readout->text(), status = ui(f).StatusBar1->text();
        const bool shown = ui(f).Readout->isVisibleTo(&f);
        f.Button1Click();
        EXPECT_TRUE(shown);
        EXPECT_TRUE(readout.startsWith(c.readout)) << readout.toStdString();
        EXPECT_EQ(*c.word ? status.contains(c.word) : status.contains("see Rights"), *c.word != 0)
            << status.toStdString();
        EXPECT_EQ(ui(f).Label5->text().toStdString().find("Virtual CPU speed"), 0u);
        EXPECT_FALSE(ui(f).Readout->isVisibleTo(&f)) << "the readout goes when the slow-down stops";
    }
}

// Fault: the word stayed in the status bar once the trim had caught up,
// claiming 3 % while the readout beside it said 1.8 %.
TEST_F(SlowDownControl, TheWordGoesOnceTheMeasuredShareAgreesAgain) {
    platform::FakeRunMeter meter;
    system.setRunMeter(&meter);
    Tform1& f = open();
    ui(f).TrackBar1->setValue(98);
    f.Button1Click();
    engine::TBurner& b = burner();
    waitFor([&] { return b.thread(0).threadId() && (!b.backupsActive() || b.backup(0).threadId()); });
    meter.heldShare = 0.97;
    f.measureTick();
    f.measureTick();
    const bool said = ui(f).StatusBar1->text().contains("see Rights");
    meter.heldShare = 0.98;
    for (int i = 0; i < 8; ++i) f.measureTick();
    const QString status = ui(f).StatusBar1->text();
    f.Button1Click();
    EXPECT_TRUE(said);
    EXPECT_FALSE(status.contains("see Rights")) << status.toStdString();
}

// Time a thread ran or waited to run, in ms: the time it wanted the processor.
long wantedMs(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    long long ran = 0, waited = 0;
    in >> ran >> waited;
    return static_cast<long>((ran + waited) / 1'000'000);
}

TEST_F(SlowDownControl, AccurateModeHoldsTheProcessorForTheFactorsShare) {
    Tform1& f = open();  // the accurate engine runs by default
    ui(f).TrackBar1->setValue(50);
    f.Button1Click();
    waitFor([&] { return burner().thread(0).threadId() != 0; });
    const pid_t tid = burner().thread(0).threadId();
    const long before = wantedMs(tid);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long wanted = wantedMs(tid) - before;
    ui(f).TrackBar1->setValue(0);
    f.Button1Click();
    // Busy for half of every period: half of one second, with generous bounds
    // for a shared machine (where it gets less of that half, it still wants it,
    // and waiting to run at the start of a period counts as wanting).
    EXPECT_GT(wanted, 250);
    EXPECT_LT(wanted, 900);
}

TEST(SpeedLabels, TwoDecimalsOfTheRealAndVirtualSpeed) {
    EXPECT_EQ(formatMhz(451.0349), "451.03");
    EXPECT_EQ(formatMhz(virtualSpeed(451.0349, 50)), "225.52");
    EXPECT_EQ(formatMhz(0), "0.00");
    EXPECT_EQ(formatMhz(123456.0), "123456.00") << "no thousands separator";
}
