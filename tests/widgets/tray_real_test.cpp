// SPDX-License-Identifier: GPL-3.0-or-later
// Against a real notification area: meant for run_tray_test.sh, which starts
// a virtual X server with a tray host. Skipped elsewhere.
#include "widgets/qt_tray_shell.h"
#include "widgets/task_icon.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleHints>
#include <QThread>

using namespace widgets;

namespace {

bool onRealDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY") && QGuiApplication::platformName() == "xcb"; }

template <typename Condition>
bool waitFor(Condition condition, int milliseconds = 10000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        // Outside a running event loop deleteLater needs this nudge.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(10);
    }
    return condition();
}

// Until the tray host takes the icon in, it has a size but sits unplaced at
// the origin of the screen.
bool embedded(const QSystemTrayIcon* trayIcon) {
    const QRect geometry = trayIcon->geometry();
    return !geometry.isEmpty() && geometry.topLeft() != QPoint(0, 0);
}

class TrayReal : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onRealDisplay()) GTEST_SKIP() << "needs an X display (run_tray_test.sh)";
        QPixmap pixmap(22, 22);
        pixmap.fill(Qt::red);
        icon.setIcon(QIcon(pixmap));
        icon.setToolTip("Lentora 2.05");
    }

    QSystemTrayIcon* shown() const { return shell->trayIcon(icon.messageWindowHandle()); }

    std::shared_ptr<QtTrayShell> shell = std::make_shared<QtTrayShell>();
    TTaskIcon icon{nullptr, shell};
};

TEST_F(TrayReal, HostIsAvailable) { EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()); }

TEST_F(TrayReal, AddShowsTheIconAndRemoveHidesIt) {
    icon.setActive(true);
    ASSERT_TRUE(icon.active());
    QPointer<QSystemTrayIcon> trayIcon = shown();
    ASSERT_TRUE(trayIcon);
    EXPECT_TRUE(waitFor([&] { return embedded(trayIcon); })) << "the tray host never showed it";
    EXPECT_EQ(trayIcon->toolTip(), "Lentora 2.05");

    icon.setActive(false);
    EXPECT_FALSE(icon.active());
    EXPECT_FALSE(trayIcon->isVisible());
    EXPECT_EQ(shown(), nullptr);
    EXPECT_TRUE(waitFor([&] { return trayIcon.isNull(); }));
}

TEST_F(TrayReal, ADoubleClickThatRemovesTheIconEndsTheSequence) {
    std::vector<std::string> events;
    icon.OnClick = [&](QObject*) { events.push_back("click"); };
    icon.OnDblClick = [&](QObject*) {
        events.push_back("dblclick");
        icon.setActive(false);  // as the restore of the main window does
    };
    icon.setActive(true);
    QPointer<QSystemTrayIcon> trayIcon = shown();
    ASSERT_TRUE(trayIcon);
    emit trayIcon->activated(QSystemTrayIcon::Trigger);
    emit trayIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(events, (std::vector<std::string>{"click", "dblclick"}));
    EXPECT_FALSE(icon.active());
    EXPECT_TRUE(waitFor([&] { return trayIcon.isNull(); }));
}

// Clicks the shown icon with the real mouse of the display.
class TrayRealMouse : public TrayReal {
protected:
    void SetUp() override {
        TrayReal::SetUp();
        if (IsSkipped()) return;
        xdotool = QStandardPaths::findExecutable("xdotool");
        if (xdotool.isEmpty()) GTEST_SKIP() << "xdotool is not installed";
        icon.OnMouseDown = [this](QObject*, TMouseButton button, TShiftState, int, int) {
            events.push_back(button == mbLeft ? "down left" : "down other");
        };
        icon.OnMouseUp = [this](QObject*, TMouseButton button, TShiftState, int, int) {
            events.push_back(button == mbLeft ? "up left" : "up other");
        };
        icon.OnClick = [this](QObject*) { events.push_back("click"); };
    }

    void clickShownIcon(int clicks) {
        icon.setActive(true);
        QSystemTrayIcon* trayIcon = shown();
        ASSERT_TRUE(trayIcon);
        ASSERT_TRUE(waitFor([&] { return embedded(trayIcon); }));
        // A click of an earlier test at the same place must not pair up with
        // this one into a double click.
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        waitFor([] { return false; }, interval + 100);
        const QPoint centre = trayIcon->geometry().center();
        QProcess::execute(xdotool, {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click",
                                    "--repeat", QString::number(clicks), "--delay", "60", "1"});
    }

    QString xdotool;
    std::vector<std::string> events;
};

TEST_F(TrayRealMouse, AClickRaisesDownClickAndUp) {
    clickShownIcon(1);
    EXPECT_TRUE(waitFor([&] { return events.size() >= 3; }));
    EXPECT_EQ(events, (std::vector<std::string>{"down left", "click", "up left"}));
}

TEST_F(TrayRealMouse, ADoubleClickReachesTheDoubleClickHandler) {
    icon.OnDblClick = [&](QObject*) {
        events.push_back("dblclick");
        icon.setActive(false);  // as the restore of the main window does
    };
    clickShownIcon(2);
    EXPECT_TRUE(waitFor([&] { return !icon.active(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"down left", "click", "up left", "dblclick"}));
}

}  // namespace
