// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/task_icon.h"
#include "fakes/fake_tray_shell.h"
#include "widgets/qt_tray_shell.h"

#include <gtest/gtest.h>
#include <QPixmap>
#include <cstring>
#include <string>
#include <vector>

using namespace widgets;

namespace {

using Op = FakeTrayShell::Op;

QIcon colouredIcon(Qt::GlobalColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

bool sameRecord(const NotifyIconData& a, const NotifyIconData& b) {
    return a.cbSize == b.cbSize && a.hWnd == b.hWnd && a.uID == b.uID && a.uFlags == b.uFlags &&
           a.uCallbackMessage == b.uCallbackMessage && a.hIcon == b.hIcon &&
           std::memcmp(a.szTip, b.szTip, sizeof a.szTip) == 0;
}

class TaskIconRules : public ::testing::Test {
protected:
    std::shared_ptr<FakeTrayShell> shell = std::make_shared<FakeTrayShell>();
    TTaskIcon icon{nullptr, shell};
};

// It starts hidden, and activated twice it adds its icon once.
TEST_F(TaskIconRules, StartsHiddenAndAddsOnceWithTheRecordFilledForTheShell) {
    EXPECT_FALSE(icon.active());
    icon.setIcon(colouredIcon(Qt::red));
    icon.setToolTip("Lentora 2.05");
    icon.setTaskIconID(3);
    EXPECT_TRUE(shell->requests.empty()) << "a hidden icon told the shell";
    icon.setActive(true);
    icon.setActive(true);
    ASSERT_EQ(shell->requests.size(), 1u);
    EXPECT_EQ(shell->requests[0].op, Op::Add);
    EXPECT_TRUE(icon.active());
    const NotifyIconData& sent = shell->requests.at(0).data;
    EXPECT_EQ(sent.cbSize, 88u);
    EXPECT_NE(sent.hWnd, 0u);
    EXPECT_EQ(sent.hWnd, icon.messageWindowHandle());
    EXPECT_EQ(sent.uID, 3u);
    EXPECT_EQ(sent.uFlags, 7u);
    EXPECT_EQ(sent.uCallbackMessage, 0x0400u);
    EXPECT_EQ(sent.hIcon, static_cast<quintptr>(icon.icon().cacheKey()));
    EXPECT_STREQ(sent.szTip, "Lentora 2.05");
    EXPECT_EQ(shell->requests[0].icon.cacheKey(), icon.icon().cacheKey());
}

// The icon is shown as far as the shell says: hidden after a failed add,
// which can be retried, and still shown after a failed delete; a failed
// modify changes nothing.
TEST_F(TaskIconRules, FailedRequestsLeaveItAsTheShellShowsIt) {
    shell->addSucceeds = false;
    icon.setActive(true);
    EXPECT_FALSE(icon.active());
    shell->addSucceeds = true;
    icon.setActive(true);
    EXPECT_TRUE(icon.active());
    EXPECT_EQ(shell->requests.size(), 2u);
    shell->modifySucceeds = false;
    icon.setToolTip("kept");
    EXPECT_TRUE(icon.active());
    EXPECT_EQ(icon.toolTip(), "kept");
    shell->removeSucceeds = false;
    icon.setActive(false);
    EXPECT_TRUE(icon.active());
    EXPECT_EQ(shell->requests.back().op, Op::Remove);
}

TEST_F(TaskIconRules, DeletesWithTheRecordAsLastFilled) {
    icon.setToolTip("first");
    icon.setActive(true);
    icon.setToolTip("second");
    icon.setActive(false);
    ASSERT_EQ(shell->requests.size(), 3u);
    EXPECT_EQ(shell->requests[2].op, Op::Remove);
    EXPECT_TRUE(sameRecord(shell->requests[2].data, shell->requests[1].data));
    EXPECT_STREQ(shell->requests[2].data.szTip, "second");
    EXPECT_FALSE(icon.active());
}

TEST_F(TaskIconRules, ModifiesOnlyWhileShownAndForChangedValues) {
    icon.setToolTip("tip");
    icon.setIcon(colouredIcon(Qt::blue));
    icon.setTaskIconID(9);
    EXPECT_TRUE(shell->requests.empty());
    icon.setActive(true);
    icon.setToolTip("new tip");
    icon.setIcon(colouredIcon(Qt::green));
    icon.setTaskIconID(10);
    ASSERT_EQ(shell->requests.size(), 4u);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(shell->requests[i].op, Op::Modify) << i;
    EXPECT_STREQ(shell->requests[1].data.szTip, "new tip");
    EXPECT_EQ(shell->requests[2].data.hIcon, static_cast<quintptr>(icon.icon().cacheKey()));
    EXPECT_EQ(shell->requests[3].data.uID, 10u);
    // Unchanged values send nothing.
    icon.setToolTip("new tip");
    icon.setTaskIconID(10);
    icon.setIcon(icon.icon());  // its own object
    EXPECT_EQ(shell->requests.size(), 4u);
}

// The sent tooltip is cut at a whole character (é takes two bytes).
TEST_F(TaskIconRules, KeepsSixtyFourCharactersAndSendsAtMostSixtyThreeBytes) {
    const QString seventy = QString("0123456789").repeated(7);
    icon.setToolTip(seventy);
    EXPECT_EQ(icon.toolTip(), seventy.left(64));
    icon.setActive(true);
    EXPECT_EQ(std::string(shell->requests[0].data.szTip), seventy.left(63).toStdString());
    icon.setToolTip(seventy + "more");  // the same first 64 characters
    EXPECT_EQ(shell->requests.size(), 1u);
    icon.setToolTip(QString(62, 'a') + QString::fromUtf8("\u00e9"));
    EXPECT_EQ(std::string(shell->requests.back().data.szTip), std::string(62, 'a'));
}

// Destroyed, or with its owner, a shown icon is removed; a hidden one asks nothing.
TEST(TaskIcon, RemovesItsIconWhenDestroyedWhileShown) {
    auto shell = std::make_shared<FakeTrayShell>();
    { TTaskIcon hidden(nullptr, shell); }
    EXPECT_TRUE(shell->requests.empty());
    auto* owner = new QObject;
    (new TTaskIcon(owner, shell))->setActive(true);
    delete owner;
    ASSERT_EQ(shell->requests.size(), 2u);
    EXPECT_EQ(shell->requests[1].op, Op::Remove);
}

// Records the events raised through the overridable operations.
class RecordingTaskIcon : public TTaskIcon {
public:
    explicit RecordingTaskIcon(std::shared_ptr<TrayShell> shell) : TTaskIcon(nullptr, std::move(shell)) {
        cursorPos = [] { return QPoint(12, 34); };
        OnClick = [this](QObject* sender) { record(sender, "click"); };
        OnDblClick = [this](QObject* sender) { record(sender, "dblclick"); };
        OnMouseDown = [this](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
            recordMouse(sender, "down", button, shift, x, y);
        };
        OnMouseUp = [this](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
            recordMouse(sender, "up", button, shift, x, y);
        };
        OnMouseMove = [this](QObject* sender, TShiftState shift, int x, int y) {
            recordMouse(sender, "move", mbLeft, shift, x, y);
        };
    }

    std::vector<std::string> events;

private:
    void record(QObject* sender, const std::string& event) {
        EXPECT_EQ(sender, this);
        events.push_back(event);
    }
    void recordMouse(QObject* sender, const std::string& event, TMouseButton button, TShiftState shift, int x, int y) {
        EXPECT_EQ(shift, TShiftState());
        EXPECT_EQ(QPoint(x, y), QPoint(12, 34));
        static const char* const names[] = {" left", " right", " middle"};
        record(sender, event + (event == "move" ? "" : names[button]));
    }
};

class TaskIconDispatch : public ::testing::Test {
protected:
    void SetUp() override { icon.setActive(true); }

    std::vector<std::string> notify(std::initializer_list<int32_t> messages) {
        icon.events.clear();
        for (int32_t message : messages) EXPECT_TRUE(shell->notify(message));
        return icon.events;
    }

    std::shared_ptr<FakeTrayShell> shell = std::make_shared<FakeTrayShell>();
    RecordingTaskIcon icon{shell};
};

using Events = std::vector<std::string>;

TEST_F(TaskIconDispatch, RaisesTheEventsOfEachMouseMessage) {
    EXPECT_EQ(notify({0x0200}), Events{"move"});
    EXPECT_EQ(notify({0x0201}), Events{"down left"});
    EXPECT_EQ(notify({0x0202}), (Events{"click", "up left"}));
    EXPECT_EQ(notify({0x0203}), Events{"dblclick"});
    EXPECT_EQ(notify({0x0204}), Events{"down right"});
    EXPECT_EQ(notify({0x0205}), Events{"up right"});
    EXPECT_EQ(notify({0x0206}), Events{});
    EXPECT_EQ(notify({0x0207}), Events{"down middle"});
    EXPECT_EQ(notify({0x0208}), Events{"up middle"});
    EXPECT_EQ(notify({0x0209}), Events{});
    EXPECT_EQ(notify({0x01ff}), Events{});
    EXPECT_EQ(notify({0}), Events{});
}

TEST_F(TaskIconDispatch, ALeftDoubleClickRaisesTheEventsInTheShellsOrder) {
    EXPECT_EQ(notify({0x0201, 0x0202, 0x0203, 0x0202}),
              (Events{"down left", "click", "up left", "dblclick", "click", "up left"}));
}

// Only notifications for its own identifier raise events; one with the top
// bit set (negative for the shell) never matches.
TEST_F(TaskIconDispatch, RaisesEventsOnlyForItsOwnIdentifier) {
    const struct {
        uint32_t id, notified;
        bool raises;
    } cases[] = {{5, 4, false},
                 {5, 6, false},
                 {5, 5, true},
                 {0xffffffffu, 0xffffffffu, false},
                 {0x80000000u, 0x80000000u, false},
                 {0x7fffffffu, 0x7fffffffu, true}};
    for (const auto& c : cases) {
        icon.events.clear();
        icon.setTaskIconID(c.id);
        icon.TrayNotify(c.notified, 0x0202);
        EXPECT_EQ(icon.events, c.raises ? Events({"click", "up left"}) : Events()) << c.id << " as " << c.notified;
    }
}

TEST_F(TaskIconDispatch, ReadsTheCursorAtEachNotification) {
    int reads = 0;
    icon.cursorPos = [&] { return QPoint(++reads, 0); };
    std::vector<int> xs;
    icon.OnMouseDown = [&](QObject*, TMouseButton, TShiftState, int x, int) { xs.push_back(x); };
    notify({0x0201, 0x0201});
    EXPECT_EQ(xs, (std::vector<int>{1, 2}));
}

TEST_F(TaskIconDispatch, LeavesOtherWindowMessagesToTheDefault) {
    TrayMessageWindow* window = TrayMessageWindow::find(icon.messageWindowHandle());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowProc(0x0401, 0, 0x0202), 0);
    EXPECT_EQ(window->windowProc(0x0010, 0, 0x0202), 0);
    EXPECT_TRUE(icon.events.empty());
    window->windowProc(0x0400, 0, 0x0202);
    EXPECT_EQ(icon.events.size(), 2u);
}

TEST_F(TaskIconDispatch, PassesHandlerErrorsOnAndStaysUsable) {
    std::vector<std::string> errors;
    icon.errorHandler = [&](const std::exception& error) { errors.push_back(error.what()); };
    icon.OnClick = [](QObject*) { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(notify({0x0202}), Events{});  // MouseUp is not reached
    EXPECT_EQ(errors, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(notify({0x0201}), Events{"down left"});
    icon.OnDblClick = [](QObject*) { throw 42; };
    notify({0x0203});
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_FALSE(errors[1].empty());
}

// A subclass that overrides the operations takes over the events.
class OverridingTaskIcon : public TTaskIcon {
public:
    using TTaskIcon::TTaskIcon;
    std::vector<std::string> calls;

protected:
    void Click() override { calls.push_back("Click"); }
    void DblClick() override { calls.push_back("DblClick"); }
    void MouseDown(TMouseButton, TShiftState, int, int) override { calls.push_back("MouseDown"); }
    void MouseMove(TShiftState, int, int) override { calls.push_back("MouseMove"); }
    void MouseUp(TMouseButton, TShiftState, int, int) override { calls.push_back("MouseUp"); }
};

TEST(TaskIcon, DispatchesThroughItsOverridableOperations) {
    OverridingTaskIcon icon(nullptr, std::make_shared<FakeTrayShell>());
    bool handlerCalled = false;
    icon.OnClick = [&](QObject*) { handlerCalled = true; };
    for (int32_t message : {0x0200, 0x0201, 0x0202, 0x0203}) icon.TrayNotify(0, message);
    EXPECT_EQ(icon.calls, (std::vector<std::string>{"MouseMove", "MouseDown", "Click", "MouseUp", "DblClick"}));
    EXPECT_FALSE(handlerCalled);
}

TEST(TaskIcon, NotificationsForADestroyedIconGoNowhere) {
    auto shell = std::make_shared<FakeTrayShell>();
    NotifyIconData stale;
    {
        TTaskIcon icon(nullptr, shell);
        icon.OnClick = [](QObject*) { ADD_FAILURE() << "event after destruction"; };
        icon.setActive(true);
        stale = icon.notifyIconData();
    }
    EXPECT_FALSE(deliverTrayNotification(stale, 0x0202));
}

TEST(QtTrayShell, TurnsActivationsIntoMouseMessages) {
    using Reason = QSystemTrayIcon::ActivationReason;
    using Messages = std::vector<int32_t>;
    EXPECT_EQ(QtTrayShell::mouseMessages(Reason::Trigger), (Messages{0x0201, 0x0202}));
    EXPECT_EQ(QtTrayShell::mouseMessages(Reason::DoubleClick), (Messages{0x0203, 0x0202}));
    EXPECT_EQ(QtTrayShell::mouseMessages(Reason::MiddleClick), (Messages{0x0207, 0x0208}));
    EXPECT_EQ(QtTrayShell::mouseMessages(Reason::Context), (Messages{0x0204, 0x0205}));
    EXPECT_EQ(QtTrayShell::mouseMessages(Reason::Unknown), Messages{});
}

TEST(QtTrayShell, RefusesToAddWithoutANotificationArea) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a notification area";
    TTaskIcon icon;  // on the desktop's notification area
    icon.setActive(true);
    EXPECT_FALSE(icon.active());
}

TEST(QtTrayShell, RefusesToChangeOrRemoveAnIconItDoesNotShow) {
    QtTrayShell shell;
    NotifyIconData data;
    data.hWnd = 12345;
    EXPECT_FALSE(shell.modify(data, QIcon()));
    EXPECT_FALSE(shell.remove(data));
    EXPECT_EQ(shell.trayIcon(12345), nullptr);
}

}  // namespace
