// SPDX-License-Identifier: GPL-3.0-or-later
// Minimized, the program shows its tray icon with the caption of that moment;
// a double click on the icon or its menu brings the window back; its menu
// and Ctrl+Q quit.
#include <QMenu>

#include "window_fixture.h"

using namespace shell;
using Tray = WindowFixture;
using widgets::FakeTrayShell;

TEST_F(Tray, MinimizingWhileRunningShowsTheRunningCaptionAsTooltip) {
    Tform1& f = open();
    f.show();
    ui(f).TrackBar1->setValue(45);
    f.Button1Click();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return ui(f).tiTray->active(); }, 3000));
    EXPECT_STREQ(tray->requests.back().data.szTip, "Lentora 2.05 - Running at 45%");
    EXPECT_TRUE(waitFor([&] { return !f.isVisible(); }, 3000)) << "the taskbar entry goes away";
    ui(f).TrackBar1->setValue(0);
    f.Button1Click();
}

TEST_F(Tray, DoubleClickOnTheIconRestoresTheWindowAndRemovesTheIcon) {
    Tform1& f = open();
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return ui(f).tiTray->active(); }, 3000));
    EXPECT_STREQ(tray->requests.back().data.szTip, "Lentora 2.05");
    ASSERT_TRUE(tray->notify(0x0203));  // the shell's left double click
    ASSERT_TRUE(waitFor([&] { return !ui(f).tiTray->active(); }, 3000));
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.isMinimized());
    EXPECT_EQ(tray->requests.back().op, FakeTrayShell::Op::Remove);
}

TEST_F(Tray, WithoutANotificationAreaTheWindowKeepsItsTaskbarEntry) {
    tray->addSucceeds = false;
    Tform1& f = open();
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !tray->requests.empty(); }, 3000));
    EXPECT_FALSE(ui(f).tiTray->active());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isMinimized());
    f.showNormal();
    EXPECT_FALSE(f.isMinimized());
}

TEST_F(Tray, TheIconGoesAwayWithTheWindow) {
    Tform1& f = open();
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return ui(f).tiTray->active(); }, 3000));
    form.reset();
    EXPECT_EQ(tray->requests.back().op, FakeTrayShell::Op::Remove);
}

namespace {
// Quitting is closing the window: counts the close events it receives.
struct CloseCounter : QObject {
    int closes = 0;
    bool eventFilter(QObject*, QEvent* event) override { return closes += event->type() == QEvent::Close, false; }
};
}  // namespace

// Its Quit is the window's Ctrl+Q.
TEST_F(Tray, TheIconsMenuRestoresTheWindowAndCtrlQQuits) {
    Tform1& f = open();
    CloseCounter counter;
    f.installEventFilter(&counter);
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return ui(f).tiTray->active() && tray->menu; }, 3000)) << "no menu went to the shell";
    const QList<QAction*> items = tray->menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text() + "," + items[1]->text() + "," + items[1]->shortcut().toString(), "Restore,Quit,Ctrl+Q");
    items[0]->trigger();
    ASSERT_TRUE(waitFor([&] { return !ui(f).tiTray->active() && f.isVisible() && !f.isMinimized(); }, 3000));
    QApplication::setActiveWindow(&f);
    QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(counter.closes, 1);
}
