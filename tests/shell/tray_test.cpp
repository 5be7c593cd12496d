// Minimized, the program shows its tray icon with the caption of that moment;
// a double click on the icon or its menu brings the window back; its menu
// and Ctrl+Q quit.
#include <QAction>
#include <QMenu>
#include <QSlider>

#include "widgets/taskicon.h"
#include "window_fixture.h"

using namespace shell;
using Tray = WindowFixture;
using widgets::FakeTrayShell;

TEST_F(Tray, MinimizingWhileRunningShowsTheRunningCaptionAsTooltip) {
    Tform1& f = open();
    f.show();
    f.TrackBar1->setValue(45);
    f.Button1Click();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.tiTray->active(); }, 3000));
    EXPECT_STREQ(tray->requests.back().data.szTip, "Lentora 2.05 - Running at 45%");
    EXPECT_TRUE(waitFor([&] { return !f.isVisible(); }, 3000)) << "the taskbar entry goes away";
    f.TrackBar1->setValue(0);
    f.Button1Click();
}

TEST_F(Tray, DoubleClickOnTheIconRestoresTheWindowAndRemovesTheIcon) {
    Tform1& f = open();
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.tiTray->active(); }, 3000));
    EXPECT_STREQ(tray->requests.back().data.szTip, "Lentora 2.05");
    ASSERT_TRUE(tray->notify(0x0203));  // the shell's left double click
    ASSERT_TRUE(waitFor([&] { return !f.tiTray->active(); }, 3000));
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
    EXPECT_FALSE(f.tiTray->active());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isMinimized());
    f.showNormal();
    EXPECT_FALSE(f.isMinimized());
}

TEST_F(Tray, TheIconGoesAwayWithTheWindow) {
    Tform1& f = open();
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.tiTray->active(); }, 3000));
    form.reset();
    EXPECT_EQ(tray->requests.back().op, FakeTrayShell::Op::Remove);
}

namespace {
// Counts the close events a window receives: quitting is closing the window.
struct CloseCounter : QObject {
    int closes = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        closes += event->type() == QEvent::Close;
        return false;
    }
};

QAction* menuAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (action->text() == text) return action;
    return nullptr;
}
}  // namespace

TEST_F(Tray, TheIconsMenuRestoresTheWindowAndQuits) {
    Tform1& f = open();
    CloseCounter counter;
    f.installEventFilter(&counter);
    f.show();
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.tiTray->active() && !f.isVisible(); }, 3000));
    ASSERT_NE(tray->menu, nullptr) << "the menu goes to the shell with the icon";
    ASSERT_NE(menuAction(tray->menu, "Restore"), nullptr);
    menuAction(tray->menu, "Restore")->trigger();
    ASSERT_TRUE(waitFor([&] { return !f.tiTray->active(); }, 3000));
    EXPECT_TRUE(f.isVisible() && !f.isMinimized());
    f.showMinimized();
    ASSERT_TRUE(waitFor([&] { return f.tiTray->active() && !f.isVisible(); }, 3000));
    ASSERT_NE(menuAction(tray->menu, "Quit"), nullptr);
    menuAction(tray->menu, "Quit")->trigger();
    EXPECT_EQ(counter.closes, 1) << "from the tray, with the window hidden";
}

TEST_F(Tray, CtrlQClosesTheWindow) {
    Tform1& f = open();
    CloseCounter counter;
    f.installEventFilter(&counter);
    f.show();
    QApplication::setActiveWindow(&f);
    QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(counter.closes, 1);
    EXPECT_FALSE(f.isVisible());
}
