// SPDX-License-Identifier: GPL-3.0-or-later
// The properties dialog on its own: its controls, the factor buttons, the
// check boxes, the checks of the number boxes and the path double click.
#include "properties_form.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "fakes/fake_dialogs.h"
#include "launch/launch_list.h"
#include "widgets/gauge.h"

using namespace shell;
using launch::LaunchEntry;
using launch::LaunchList;
using widgets::FakeDialogs;

namespace {
struct PropertiesDialog : ::testing::Test {
    QWidget mainWindow;
    FakeDialogs dialogs;
    LaunchList list;
    TProperties dialog{&mainWindow, dialogs, list, "/nonexistent-dir/lentora.ini", [] { return 0; }};

    void leave(QLineEdit* edit, Qt::FocusReason reason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(edit, &out);
    }
    QStringList errors() const {
        QStringList texts;
        for (const auto& box : dialogs.shown)
            if (box.kind == "error") texts << box.text;
        return texts;
    }
};
}  // namespace

TEST(ApplicationName, DropsDirectoryAndOnlyTheLastExtension) {
    EXPECT_EQ(applicationName("/opt/games/MY.GAME.EXE"), "MY.GAME");
    EXPECT_EQ(applicationName("/opt/tool-1.2/bin/run"), "run");
    // A dot file keeps its name rather than becoming empty (OK would drop it).
    EXPECT_EQ(applicationName("/home/u/.start"), ".start");
}

// Only Ok (the default button, which Enter presses) and Cancel end it; F1
// opens the dialog's own help topic (the help key reads "helpContext").
TEST_F(PropertiesDialog, FixedFrameWithItsOwnHelpTopicHoldsEveryControlInsideItsPage) {
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.btnOk->isDefault());
    EXPECT_EQ(dialog.property("helpContext").toInt(), 30);
    dialog.show();
    for (QWidget* page : {dialog.TabSheet1, dialog.TabSheet2}) {
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(page->rect().contains(child->geometry()))
                << child->objectName().toStdString() << " outside a page of " << page->width() << "x" << page->height();
    }
    EXPECT_TRUE(dialog.rect().contains(dialog.btnCancel->geometry()));
    EXPECT_FALSE(dialog.btnOk->geometry().intersects(dialog.PageControl1->geometry()));
    dialog.hide();
}

// Down never goes below one and leaves zero alone; up stops at 98 and does not
// raise a factor above the track bar's range (read from the file) further.
TEST_F(PropertiesDialog, FactorButtonsStayWithinTheirLimits) {
    const struct {
        QToolButton* button;
        int from, to;
    } cases[] = {{dialog.downproperties, 0, 0}, {dialog.downproperties, 1, 1}, {dialog.downproperties, 5, 4},
                 {dialog.upproperties, 0, 1},   {dialog.upproperties, 98, 98}, {dialog.upproperties, 100, 100}};
    for (const auto& c : cases) {
        dialog.Gauge1->setProgress(c.from);
        c.button->click();
        EXPECT_EQ(dialog.Gauge1->progress(), c.to) << c.button->objectName().toStdString() << " from " << c.from;
    }
}

// Arrow keys step by one and page keys by ten, within the buttons' limits
// (the buttons would otherwise move the focus); held, a button repeats.
TEST_F(PropertiesDialog, FactorButtonsTakeArrowAndPageKeysAndRepeatWhileHeld) {
    dialog.show();
    dialog.Gauge1->setProgress(0);
    for (auto [key, factor] :
         {std::pair{Qt::Key_Up, 1}, {Qt::Key_PageUp, 11}, {Qt::Key_Left, 10}, {Qt::Key_PageDown, 1}}) {
        QTest::keyClick(dialog.upproperties, key);
        EXPECT_EQ(dialog.Gauge1->progress(), factor) << key;
    }
    dialog.Gauge1->setProgress(98);
    QTest::mousePress(dialog.downproperties, Qt::LeftButton);
    for (QDeadlineTimer held(2000); dialog.Gauge1->progress() > 96 && !held.hasExpired();) QTest::qWait(20);
    QTest::mouseRelease(dialog.downproperties, Qt::LeftButton);
    EXPECT_LE(dialog.Gauge1->progress(), 96) << "one press, held, steps more than once";
}

// Checked by a click or by the program alike; setting a box to the state it
// has leaves its edit alone.
TEST_F(PropertiesDialog, CheckBoxShowsItsEditAndUncheckingResetsItToZero) {
    for (auto [box, edit] : {std::pair{dialog.CheckBox1, dialog.Edit1}, {dialog.CheckBox2, dialog.Edit2}}) {
        SCOPED_TRACE(box->objectName().toStdString());
        edit->setText("7");
        box->setChecked(false);
        EXPECT_EQ(edit->text(), "7");
        box == dialog.CheckBox1 ? box->setChecked(true) : box->click();
        EXPECT_FALSE(edit->isHidden());
        edit->setText("30");
        box == dialog.CheckBox1 ? box->click() : box->setChecked(false);
        EXPECT_TRUE(edit->isHidden());
        EXPECT_EQ(edit->text(), "0");
    }
}

// Leaving a number box checks it: text that is no integer is reported and
// kept, a negative number becomes zero. Only a move of the focus inside the
// dialog leaves it, not the dialog losing activation or a popup.
TEST_F(PropertiesDialog, LeavingANumberBoxChecksItsText) {
    const struct {
        QLineEdit* edit;
        const char* text;
        Qt::FocusReason reason;
        const char* after;
        QStringList errors;
    } cases[] = {
        {dialog.Edit1, "12abc", Qt::TabFocusReason, "12abc", {"'12abc' is not a valid integer value"}},
        {dialog.Edit2, "", Qt::TabFocusReason, "", {"'' is not a valid integer value"}},
        {dialog.Edit1, "-5", Qt::TabFocusReason, "0", {}},
        {dialog.Edit2, "$1F", Qt::TabFocusReason, "$1F", {}},
        {dialog.Edit2, " 30", Qt::TabFocusReason, " 30", {}},
        {dialog.Edit1, "abc", Qt::ActiveWindowFocusReason, "abc", {}},
        {dialog.Edit1, "abc", Qt::PopupFocusReason, "abc", {}},
        {dialog.Edit1, "abc", Qt::MouseFocusReason, "abc", {"'abc' is not a valid integer value"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " left with reason " + std::to_string(c.reason));
        dialogs.shown.clear();
        c.edit->setText(c.text);
        leave(c.edit, c.reason);
        EXPECT_EQ(c.edit->text(), c.after);
        EXPECT_EQ(errors(), c.errors);
    }
}

TEST_F(PropertiesDialog, DoubleClickOnThePathPicksAnotherFileButKeepsTheName) {
    dialog.txtName->setText("Old game");
    dialog.txtPath->setText("/games/old");
    dialogs.fileAnswers = {QString("/games/new.exe"), std::nullopt};
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(dialog.txtPath, &doubleClick);
    EXPECT_EQ(dialog.txtPath->text(), "/games/new.exe");
    EXPECT_EQ(dialog.txtName->text(), "Old game");
    dialog.txtPathDblClick();  // cancelled
    EXPECT_EQ(dialog.txtPath->text(), "/games/new.exe");
    EXPECT_EQ(dialogs.fileFilters, std::vector<QString>(2, "Application|*.EXE;*.COM;*.BAT;"));
}

TEST_F(PropertiesDialog, MainWindowIsDisabledWhileTheDialogStaysUsable) {
    dialog.disableMainWindow();
    EXPECT_FALSE(mainWindow.isEnabled());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_TRUE(dialog.btnOk->isEnabled());
    dialog.disableMainWindow();  // a second time too: it is disabled along with the main window each time
    EXPECT_TRUE(dialog.btnCancel->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);  // Esc cancels
    EXPECT_TRUE(mainWindow.isEnabled());
}

TEST_F(PropertiesDialog, OkStoresTheControlsAsTheyStandAndReportsAFailedSave) {
    dialog.adding = true;
    dialog.fillForAdd("/games/Doom.Exe");
    dialog.CheckBox5->setChecked(true);
    dialog.CheckBox6->setChecked(true);
    dialog.Edit1->setText("abc");  // hidden, still taken as it stands
    dialog.btnOk->click();
    ASSERT_EQ(list.count(), 1);
    const LaunchEntry& e = list.entry(0);
    EXPECT_EQ(std::vector<std::string>({e.name, e.path, e.factor, e.runFor, e.wait, e.closeToken, e.minimizeToken}),
              std::vector<std::string>({"Doom", "/games/Doom.Exe", "0", "0", "abc", "close", "minimized"}));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Cannot ")) << errors()[0].toStdString();
    EXPECT_TRUE(errors()[0].contains("/nonexistent-dir/lentora.ini"));
}
