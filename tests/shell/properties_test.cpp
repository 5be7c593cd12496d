// SPDX-License-Identifier: GPL-3.0-or-later
// The launch list's Add, Remove and Properties buttons with the properties
// dialog, on a real launch list file in a temporary directory. The dialog's
// modal loop is replaced by a function that acts as the user and presses a
// button, so no test waits on a modal window.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>

#include "launch/launch_file.h"
#include "launch/launch_list.h"
#include "properties_form.h"
#include "widgets/gauge.h"
#include "window_fixture.h"

using namespace shell;
using launch::LaunchEntry;
using launch::loadLaunchFile;
using launch::saveLaunchFile;
using widgets::FakeDialogs;

namespace {
using Fields = std::vector<std::string>;

Fields fields(const LaunchEntry& e) {
    return {e.name, e.path, e.factor, e.runFor, e.wait, e.closeToken, e.minimizeToken};
}

struct PropertiesButtons : WindowFixture {
    QString file() const { return dir.path() + "/lentora.ini"; }

    QByteArray fileBytes() const {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::vector<LaunchEntry> fileEntries() const {
        const auto loaded = loadLaunchFile(file().toStdString());
        return loaded ? *loaded : std::vector<LaunchEntry>{};
    }

    void writeFile(const std::vector<LaunchEntry>& entries) {
        ASSERT_EQ(saveLaunchFile(file().toStdString(), entries), std::nullopt);
    }

    // What the user does while the dialog is open; counts the openings.
    int shownTimes = 0;
    void whileOpen(Tform1& f, std::function<void(TProperties&)> act) {
        ui(f).Properties->RunModal = [this, act](TProperties& p) {
            ++shownTimes;
            act(p);
        };
    }
    void select(Tform1& f, int row) { ui(f).ListBox1->setCurrentIndex(f.launchList().index(row)); }
    std::vector<FakeDialogs::Shown> errors() const {
        std::vector<FakeDialogs::Shown> found;
        for (const auto& box : dialogs.shown)
            if (box.kind == "error") found.push_back(box);
        return found;
    }

    static LaunchEntry entry(std::string name, std::string factor, std::string runFor, std::string wait,
                             std::string close = "noclose", std::string minimize = "notminimized") {
        std::string path = "/opt/" + name;
        return {std::move(name), std::move(path),  std::move(factor),  std::move(runFor),
                std::move(wait), std::move(close), std::move(minimize)};
    }
};
}  // namespace

TEST_F(PropertiesButtons, AddThenOkWithoutChangesStoresANewEntryWithDefaults) {
    Tform1& f = open();
    dialogs.fileAnswers = {QString("/opt/games/MY.GAME.EXE")};
    bool mainWindowEnabledWhileOpen = true, dialogEnabled = false;
    whileOpen(f, [&](TProperties& p) {
        mainWindowEnabledWhileOpen = f.isEnabled();
        dialogEnabled = p.isEnabled() && p.btnOk->isEnabled();
        p.btnOk->click();
    });
    ui(f).Add->click();
    EXPECT_EQ(shownTimes, 1);
    EXPECT_FALSE(mainWindowEnabledWhileOpen);
    EXPECT_TRUE(dialogEnabled);
    EXPECT_TRUE(f.isEnabled());
    EXPECT_EQ(dialogs.fileFilters, std::vector<QString>{"Application|*.EXE;*.COM;*.BAT;"});
    ASSERT_EQ(f.launchList().count(), 1);
    const Fields expected{"MY.GAME", "/opt/games/MY.GAME.EXE", "0", "0", "0", "noclose", "notminimized"};
    EXPECT_EQ(fields(f.launchList().entry(0)), expected);
    EXPECT_EQ(ui(f).ListBox1->model()->index(0, 0).data().toString(), "MY.GAME");
    ASSERT_EQ(fileEntries().size(), 1u);
    EXPECT_EQ(fields(fileEntries()[0]), expected);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PropertiesButtons, AddStartsFromCleanControlsAfterAnEditedEntry) {
    writeFile({entry("busy", "60", "00", "00", "close", "minimized")});
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) { p.btnCancel->click(); });
    ui(f).Propertybutton->click();
    dialogs.fileAnswers = {QString("/usr/bin/xterm")};
    whileOpen(f, [](TProperties& p) {
        EXPECT_EQ(p.Gauge1->progress(), 0);
        EXPECT_TRUE(p.Edit1->isHidden());
        EXPECT_TRUE(p.Edit2->isHidden());
        p.btnOk->click();
    });
    ui(f).Add->click();
    ASSERT_EQ(f.launchList().count(), 2);
    EXPECT_EQ(fields(f.launchList().entry(1)),
              (Fields{"xterm", "/usr/bin/xterm", "0", "0", "0", "noclose", "notminimized"}));
}

TEST_F(PropertiesButtons, AddCancelledInTheFileDialogShowsNothing) {
    Tform1& f = open();
    dialogs.fileAnswers = {std::nullopt};
    whileOpen(f, [](TProperties& p) { p.btnOk->click(); });
    ui(f).Add->click();
    EXPECT_EQ(shownTimes, 0);
    EXPECT_EQ(f.launchList().count(), 0);
    EXPECT_TRUE(f.isEnabled());
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(PropertiesButtons, PropertiesShowsTheWaitBoxOnlyForATextOtherThanZero) {
    writeFile({entry("zero", "10", "0", "0"), entry("padded", "20", "00", "00")});
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) {
        EXPECT_EQ(p.txtName->text(), "zero");
        EXPECT_EQ(p.txtPath->text(), "/opt/zero");
        EXPECT_EQ(p.Gauge1->progress(), 10);
        EXPECT_FALSE(p.CheckBox1->isChecked());
        EXPECT_TRUE(p.Edit1->isHidden());
        EXPECT_EQ(p.Edit1->text(), "0");
        EXPECT_FALSE(p.CheckBox2->isChecked());
        EXPECT_TRUE(p.Edit2->isHidden());
        p.btnCancel->click();
    });
    ui(f).Propertybutton->click();
    select(f, 1);
    whileOpen(f, [](TProperties& p) {
        EXPECT_TRUE(p.CheckBox1->isChecked());
        EXPECT_FALSE(p.Edit1->isHidden());
        EXPECT_EQ(p.Edit1->text(), "00");
        EXPECT_TRUE(p.CheckBox2->isChecked());
        EXPECT_EQ(p.Edit2->text(), "00");
        EXPECT_FALSE(p.CheckBox5->isChecked());
        EXPECT_FALSE(p.CheckBox6->isChecked());
        p.btnCancel->click();
    });
    ui(f).Propertybutton->click();
    EXPECT_EQ(shownTimes, 2);
}

TEST_F(PropertiesButtons, PropertiesWithoutSelectionDoesNothing) {
    writeFile({entry("one", "10", "0", "0")});
    Tform1& f = open();
    ui(f).ListBox1->setCurrentIndex({});
    whileOpen(f, [](TProperties& p) { p.btnOk->click(); });
    ui(f).Propertybutton->click();
    EXPECT_EQ(shownTimes, 0);
}

TEST_F(PropertiesButtons, UnknownMinimizeTokenShowsTheBoxCheckedAndOkWritesMinimized) {
    writeFile({entry("other", "30", "5", "7", "close", "Minimized"), entry("second", "40", "0", "0")});
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) {
        EXPECT_TRUE(p.CheckBox5->isChecked());
        EXPECT_TRUE(p.CheckBox6->isChecked());
        p.btnOk->click();
    });
    ui(f).Propertybutton->click();
    ASSERT_EQ(f.launchList().count(), 2);
    const Fields expected{"other", "/opt/other", "30", "5", "7", "close", "minimized"};
    EXPECT_EQ(fields(f.launchList().entry(0)), expected);
    ASSERT_EQ(fileEntries().size(), 2u);
    EXPECT_EQ(fields(fileEntries()[0]), expected);
    EXPECT_EQ(fileEntries()[1].name, "second");
}

TEST_F(PropertiesButtons, FactorAboveTheRangeShowsAFullGaugeAndIsStoredClamped) {
    writeFile({entry("fast", "150", "0", "0")});
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) {
        EXPECT_EQ(p.Gauge1->progress(), 100);
        p.btnOk->click();
    });
    ui(f).Propertybutton->click();
    EXPECT_EQ(f.launchList().entry(0).factor, "100");
}

TEST_F(PropertiesButtons, EditingChangesTheSelectedEntryWithTheFactorButtonsAndBoxes) {
    writeFile({entry("a", "1", "0", "0"), entry("b", "97", "0", "0")});
    Tform1& f = open();
    select(f, 1);
    whileOpen(f, [](TProperties& p) {
        p.upproperties->click();
        p.upproperties->click();  // stops at 98
        p.txtName->setText("  renamed  ");
        p.CheckBox1->click();
        p.Edit1->setText("30");
        p.CheckBox2->click();
        p.Edit2->setText("45");
        p.CheckBox6->click();
        p.btnOk->click();
    });
    ui(f).Propertybutton->click();
    EXPECT_EQ(fields(f.launchList().entry(1)),
              (Fields{"  renamed  ", "/opt/b", "98", "45", "30", "close", "notminimized"}));
    EXPECT_EQ(fields(f.launchList().entry(0))[0], "a");
    EXPECT_EQ(fields(fileEntries()[1]), fields(f.launchList().entry(1)));
}

TEST_F(PropertiesButtons, UncheckingTheWaitBoxAfterTypingThirtyStoresZero) {
    Tform1& f = open();
    dialogs.fileAnswers = {QString("/opt/tool")};
    whileOpen(f, [](TProperties& p) {
        p.CheckBox1->click();
        p.Edit1->setText("30");
        p.CheckBox1->click();
        p.btnOk->click();
    });
    ui(f).Add->click();
    ASSERT_EQ(f.launchList().count(), 1);
    EXPECT_EQ(f.launchList().entry(0).wait, "0");
}

TEST_F(PropertiesButtons, EmptyNameStoresNothingButStillRewritesTheFile) {
    // Written with LF line ends: the program's own save uses CR LF.
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("kept\n/opt/kept\n10\n0\n0\nnoclose\nnotminimized\n");
    }
    Tform1& f = open();
    dialogs.fileAnswers = {QString("/opt/new")};
    whileOpen(f, [](TProperties& p) {
        p.txtName->clear();
        p.btnOk->click();
    });
    ui(f).Add->click();
    EXPECT_EQ(f.launchList().count(), 1);
    EXPECT_EQ(fileBytes(), QByteArray("kept\r\n/opt/kept\r\n10\r\n0\r\n0\r\nnoclose\r\nnotminimized\r\n"));
    EXPECT_TRUE(f.isEnabled());
    EXPECT_TRUE(dialogs.shown.empty());

    select(f, 0);
    whileOpen(f, [](TProperties& p) {
        p.txtPath->clear();
        p.btnOk->click();
    });
    ui(f).Propertybutton->click();
    EXPECT_EQ(f.launchList().entry(0).path, "/opt/kept");
}

TEST_F(PropertiesButtons, RemoveChangesMemoryOnlyUntilTheNextOk) {
    writeFile({entry("first", "10", "0", "0"), entry("second", "20", "0", "0")});
    const QByteArray before = fileBytes();
    Tform1& f = open();
    select(f, 0);
    ui(f).Remove->click();
    ASSERT_EQ(f.launchList().count(), 1);
    EXPECT_EQ(f.launchList().entry(0).name, "second");
    EXPECT_EQ(ui(f).ListBox1->currentIndex().row(), -1);
    ui(f).Remove->click();  // nothing selected any more
    EXPECT_EQ(f.launchList().count(), 1);
    EXPECT_EQ(fileBytes(), before);

    // A new start in the same directory brings the removed entry back.
    form.reset();
    Tform1& again = open();
    EXPECT_EQ(again.launchList().count(), 2);

    // After a remove, the next OK stores the removal.
    select(again, 0);
    ui(again).Remove->click();
    select(again, 0);
    whileOpen(again, [](TProperties& p) { p.btnOk->click(); });
    ui(again).Propertybutton->click();
    ASSERT_EQ(fileEntries().size(), 1u);
    EXPECT_EQ(fileEntries()[0].name, "second");
}

TEST_F(PropertiesButtons, CancelStoresNothing) {
    writeFile({entry("one", "10", "0", "0")});
    const QByteArray before = fileBytes();
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) {
        p.txtName->setText("changed");
        p.upproperties->click();
        p.btnCancel->click();
    });
    ui(f).Propertybutton->click();
    dialogs.fileAnswers = {QString("/opt/new")};
    whileOpen(f, [](TProperties& p) { p.btnCancel->click(); });
    ui(f).Add->click();
    EXPECT_EQ(shownTimes, 2);
    EXPECT_TRUE(f.isEnabled());
    ASSERT_EQ(f.launchList().count(), 1);
    EXPECT_EQ(fields(f.launchList().entry(0)), fields(entry("one", "10", "0", "0")));
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(PropertiesButtons, FailedSaveIsReportedKeepsTheEntryAndEnablesTheWindow) {
    QFile blocker(dir.path() + "/not-a-directory");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Services s = services();
    s.launchFile = (dir.path() + "/not-a-directory/lentora.ini").toStdString();
    form = std::make_unique<Tform1>(s);
    Tform1& f = *form;
    dialogs.fileAnswers = {QString("/opt/game"), QString("/opt/other")};
    whileOpen(f, [](TProperties& p) { p.btnOk->click(); });
    ui(f).Add->click();
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_TRUE(errors()[0].text.contains("not-a-directory/lentora.ini")) << errors()[0].text.toStdString();
    EXPECT_EQ(f.launchList().count(), 1);
    EXPECT_TRUE(f.isEnabled());
    ui(f).Add->click();  // the window goes on working
    EXPECT_EQ(f.launchList().count(), 2);
    EXPECT_EQ(errors().size(), 2u);
}

TEST_F(PropertiesButtons, TheMainWindowGetsItsFocusBackAfterAdd) {
    Tform1& f = open();
    f.show();
    f.activateWindow();
    ui(f).Add->setFocus();
    ASSERT_EQ(f.focusWidget(), ui(f).Add);
    dialogs.fileAnswers = {QString("/opt/game")};
    whileOpen(f, [](TProperties& p) { p.btnOk->click(); });
    ui(f).Add->click();
    // Not the list box: giving it the focus would launch its entry.
    EXPECT_EQ(f.focusWidget(), ui(f).Add);
    f.hide();
}

// Bytes that are not valid text in the system's encoding survive an OK:
// unedited fields keep their stored bytes, an edited one is stored as typed.
TEST_F(PropertiesButtons, OkKeepsTheStoredBytesOfFieldsNotEdited) {
    const LaunchEntry stored{"caf\xE9", "/opt/\xFF\xFEgame --x", "40", "1\xA0", "\xE9", "close", "minimized"};
    writeFile({stored});
    const QByteArray before = fileBytes();
    Tform1& f = open();
    select(f, 0);
    whileOpen(f, [](TProperties& p) { p.btnOk->click(); });
    ui(f).Propertybutton->click();
    EXPECT_EQ(fileBytes(), before);
    whileOpen(f, [](TProperties& p) {
        p.txtName->setText("renamed");
        p.btnOk->click();
    });
    ui(f).Propertybutton->click();
    LaunchEntry expected = stored;
    expected.name = "renamed";
    EXPECT_EQ(fields(fileEntries().at(0)), fields(expected));
}
