// SPDX-License-Identifier: GPL-3.0-or-later
// The launch list's Add, Remove and Properties buttons with the properties
// dialog, on a real launch list file in a temporary directory. The dialog's
// modal loop is replaced by a function that acts as the user and presses a
// button, so no test waits on a modal window.
#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

#include "file_text.h"
#include "launch/launch_file.h"
#include "window_fixture.h"

using namespace shell;
using launch::LaunchEntry;
using launch::loadLaunchFile;
using launch::saveLaunchFile;
using widgets::FakeDialogs;

namespace {
using Fields = std::vector<std::string>;
using Act = std::function<void(TProperties&)>;

Fields fields(const LaunchEntry& e) {
    return {e.name, e.path, e.factor, e.runFor, e.wait, e.closeToken, e.minimizeToken};
}
std::vector<Fields> fields(const std::vector<LaunchEntry>& entries) {
    std::vector<Fields> all;
    for (const LaunchEntry& e : entries) all.push_back(fields(e));
    return all;
}

void ok(TProperties& p) { p.btnOk->click(); }
void cancel(TProperties& p) { p.btnCancel->click(); }

struct PropertiesButtons : WindowFixture {
    QString file() const { return dir.path() + "/lentora.ini"; }

    QByteArray fileBytes() const { return QByteArray::fromStdString(slurp(file().toStdString())); }
    std::vector<LaunchEntry> fileEntries() const {
        const auto loaded = loadLaunchFile(file().toStdString());
        return loaded ? *loaded : std::vector<LaunchEntry>{};
    }

    void writeFile(const std::vector<LaunchEntry>& entries) {
        ASSERT_TRUE(saveLaunchFile(file().toStdString(), entries));
    }
    // One entry with LF line ends, as another editor writes it: any save of
    // the program's own (CR LF) changes the bytes.
    void writeForeignFile() { spit(file().toStdString(), "kept\n/opt/kept\n10\n0\n0\nnoclose\nnotminimized\n"); }

    // What the user does while the dialog is open; counts the openings.
    int shownTimes = 0;
    void whileOpen(Tform1& f, Act act) {
        ui(f).Properties->RunModal = [this, act](TProperties& p) {
            ++shownTimes;
            act(p);
        };
    }
    void select(Tform1& f, int row) { ui(f).ListBox1->setCurrentIndex(launchList(f).index(row)); }
    // Add with the file dialog's answer, or Properties on a row (-1: none selected).
    void add(Tform1& f, std::optional<QString> path, Act act = ok) {
        dialogs.fileAnswers = {std::move(path)};
        whileOpen(f, std::move(act));
        ui(f).Add->click();
    }
    void edit(Tform1& f, int row, Act act = ok) {
        select(f, row);
        whileOpen(f, std::move(act));
        ui(f).Propertybutton->click();
    }
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
    bool mainWindowEnabledWhileOpen = true, dialogEnabled = false;
    add(f, "/opt/games/MY.GAME.EXE", [&](TProperties& p) {
        mainWindowEnabledWhileOpen = f.isEnabled();
        dialogEnabled = p.isEnabled() && p.btnOk->isEnabled();
        p.btnOk->click();
    });
    EXPECT_EQ(shownTimes, 1);
    EXPECT_FALSE(mainWindowEnabledWhileOpen);
    EXPECT_TRUE(dialogEnabled);
    EXPECT_TRUE(f.isEnabled());
    EXPECT_EQ(dialogs.fileFilters, std::vector<QString>{"Application|*.EXE;*.COM;*.BAT;"});
    const std::vector<Fields> expected{{"MY.GAME", "/opt/games/MY.GAME.EXE", "0", "0", "0", "noclose", "notminimized"}};
    EXPECT_EQ(fields(launchList(f).entries()), expected);
    EXPECT_EQ(ui(f).ListBox1->model()->index(0, 0).data().toString(), "MY.GAME");
    EXPECT_EQ(fields(fileEntries()), expected);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PropertiesButtons, AddStartsFromCleanControlsAfterAnEditedEntry) {
    writeFile({entry("busy", "60", "00", "00", "close", "minimized")});
    Tform1& f = open();
    edit(f, 0, cancel);
    add(f, "/usr/bin/xterm", [](TProperties& p) {
        EXPECT_EQ(p.Gauge1->progress(), 0);
        EXPECT_TRUE(p.Edit1->isHidden());
        EXPECT_TRUE(p.Edit2->isHidden());
        p.btnOk->click();
    });
    ASSERT_EQ(launchList(f).count(), 2);
    EXPECT_EQ(fields(launchList(f).entry(1)),
              (Fields{"xterm", "/usr/bin/xterm", "0", "0", "0", "noclose", "notminimized"}));
}

// Without an OK nothing is stored, in the list or the file.
TEST_F(PropertiesButtons, NothingIsStoredWithoutAnOk) {
    const struct {
        const char* name;
        std::function<void(Tform1&)> press;
        int shown;
    } cases[] = {
        {"Add cancelled in the file dialog", [&](Tform1& f) { add(f, std::nullopt); }, 0},
        {"Properties without a selection", [&](Tform1& f) { edit(f, -1); }, 0},
        {"Cancel in Add", [&](Tform1& f) { add(f, "/opt/new", cancel); }, 1},
        {"Cancel after changes in Properties",
         [&](Tform1& f) {
             edit(f, 0, [](TProperties& p) {
                 p.txtName->setText("changed");
                 p.upproperties->click();
                 p.btnCancel->click();
             });
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        writeForeignFile();
        const QByteArray before = fileBytes();
        Tform1& f = open();
        shownTimes = 0;
        c.press(f);
        EXPECT_EQ(shownTimes, c.shown);
        EXPECT_TRUE(f.isEnabled());
        EXPECT_EQ(fields(launchList(f).entries()), std::vector<Fields>{fields(entry("kept", "10", "0", "0"))});
        EXPECT_EQ(fileBytes(), before);
    }
}

// OK stores the dialog's controls as the user left them, in the list and the
// file; every other entry stays as it was.
TEST_F(PropertiesButtons, OkStoresTheControlsAsTheUserLeftThem) {
    const LaunchEntry a = entry("a", "1", "0", "0"), b = entry("b", "97", "0", "0");
    const LaunchEntry second = entry("second", "40", "0", "0");
    // Bytes that are not valid text in the system's encoding.
    const LaunchEntry bytes{"caf\xE9", "/opt/\xFF\xFEgame --x", "40", "1\xA0", "\xE9", "close", "minimized"};
    LaunchEntry renamed = bytes;
    renamed.name = "renamed";
    struct Case {
        const char* name;
        std::vector<LaunchEntry> stored;
        int row;  // -1: Add of /opt/tool
        Act act;  // before OK
        std::vector<Fields> expected;
    };
    const Case cases[] = {
        {"a wait of 0 hides its box: unchanged",
         {entry("zero", "10", "0", "0")},
         0,
         [](TProperties& p) {
             EXPECT_EQ(p.txtName->text(), "zero");
             EXPECT_EQ(p.txtPath->text(), "/opt/zero");
             EXPECT_EQ(p.Gauge1->progress(), 10);
             EXPECT_TRUE(!p.CheckBox1->isChecked() && p.Edit1->isHidden() && p.Edit1->text() == "0");
             EXPECT_TRUE(!p.CheckBox2->isChecked() && p.Edit2->isHidden());
         },
         {fields(entry("zero", "10", "0", "0"))}},
        {"a wait of 00 shows its box: unchanged",
         {entry("padded", "20", "00", "00")},
         0,
         [](TProperties& p) {
             EXPECT_TRUE(p.CheckBox1->isChecked() && !p.Edit1->isHidden() && p.Edit1->text() == "00");
             EXPECT_TRUE(p.CheckBox2->isChecked() && p.Edit2->text() == "00");
             EXPECT_FALSE(p.CheckBox5->isChecked() || p.CheckBox6->isChecked());
         },
         {fields(entry("padded", "20", "00", "00"))}},
        {"an unknown minimize token shows the box checked and is written minimized",
         {entry("other", "30", "5", "7", "close", "Minimized"), second},
         0,
         [](TProperties& p) { EXPECT_TRUE(p.CheckBox5->isChecked() && p.CheckBox6->isChecked()); },
         {{"other", "/opt/other", "30", "5", "7", "close", "minimized"}, fields(second)}},
        {"a factor above the range shows a full gauge and is stored clamped",
         {entry("fast", "150", "0", "0")},
         0,
         [](TProperties& p) { EXPECT_EQ(p.Gauge1->progress(), 100); },
         {{"fast", "/opt/fast", "100", "0", "0", "noclose", "notminimized"}}},
        {"the factor buttons and boxes change the selected entry",
         {a, b},
         1,
         [](TProperties& p) {
             p.upproperties->click();
             p.upproperties->click();  // stops at 98
             p.txtName->setText("  renamed  ");
             p.CheckBox1->click();
             p.Edit1->setText("30");
             p.CheckBox2->click();
             p.Edit2->setText("45");
             p.CheckBox6->click();
         },
         {fields(a), {"  renamed  ", "/opt/b", "98", "45", "30", "close", "notminimized"}}},
        {"unchecking the wait box after typing thirty stores zero",
         {},
         -1,
         [](TProperties& p) {
             p.CheckBox1->click();
             p.Edit1->setText("30");
             p.CheckBox1->click();
         },
         {{"tool", "/opt/tool", "0", "0", "0", "noclose", "notminimized"}}},
        {"fields not edited keep their stored bytes", {bytes}, 0, [](TProperties&) {}, {fields(bytes)}},
        {"an edited field is stored as typed",
         {bytes},
         0,
         [](TProperties& p) { p.txtName->setText("renamed"); },
         {fields(renamed)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        writeFile(c.stored);
        Tform1& f = open();
        const Act act = [&c](TProperties& p) {
            c.act(p);
            p.btnOk->click();
        };
        c.row < 0 ? add(f, "/opt/tool", act) : edit(f, c.row, act);
        EXPECT_EQ(fields(launchList(f).entries()), c.expected);
        EXPECT_EQ(fields(fileEntries()), c.expected);
    }
}

TEST_F(PropertiesButtons, EmptyNameStoresNothingButStillRewritesTheFile) {
    writeForeignFile();
    Tform1& f = open();
    add(f, "/opt/new", [](TProperties& p) {
        p.txtName->clear();
        p.btnOk->click();
    });
    EXPECT_EQ(launchList(f).count(), 1);
    EXPECT_EQ(fileBytes(), QByteArray("kept\r\n/opt/kept\r\n10\r\n0\r\n0\r\nnoclose\r\nnotminimized\r\n"));
    EXPECT_TRUE(f.isEnabled());
    EXPECT_TRUE(dialogs.shown.empty());

    edit(f, 0, [](TProperties& p) {
        p.txtPath->clear();
        p.btnOk->click();
    });
    EXPECT_EQ(launchList(f).entry(0).path, "/opt/kept");
}

TEST_F(PropertiesButtons, RemoveChangesMemoryOnlyUntilTheNextOk) {
    writeFile({entry("first", "10", "0", "0"), entry("second", "20", "0", "0")});
    const QByteArray before = fileBytes();
    Tform1& f = open();
    select(f, 0);
    ui(f).Remove->click();
    ASSERT_EQ(launchList(f).count(), 1);
    EXPECT_EQ(launchList(f).entry(0).name, "second");
    EXPECT_EQ(ui(f).ListBox1->currentIndex().row(), -1);
    ui(f).Remove->click();  // nothing selected any more
    EXPECT_EQ(launchList(f).count(), 1);
    EXPECT_EQ(fileBytes(), before);

    // A new start in the same directory brings the removed entry back.
    form.reset();
    Tform1& again = open();
    EXPECT_EQ(launchList(again).count(), 2);

    // After a remove, the next OK stores the removal.
    select(again, 0);
    ui(again).Remove->click();
    edit(again, 0);
    ASSERT_EQ(fileEntries().size(), 1u);
    EXPECT_EQ(fileEntries()[0].name, "second");
}

TEST_F(PropertiesButtons, FailedSaveIsReportedKeepsTheEntryAndEnablesTheWindow) {
    spit(root() / "not-a-directory", "");
    launchFile = (dir.path() + "/not-a-directory/lentora.ini").toStdString();
    Tform1& f = open();
    add(f, "/opt/game");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_TRUE(errors()[0].text.contains("not-a-directory/lentora.ini")) << errors()[0].text.toStdString();
    EXPECT_EQ(launchList(f).count(), 1);
    EXPECT_TRUE(f.isEnabled());
    add(f, "/opt/other");  // the window goes on working
    EXPECT_EQ(launchList(f).count(), 2);
    EXPECT_EQ(errors().size(), 2u);
}

TEST_F(PropertiesButtons, TheMainWindowGetsItsFocusBackAfterAdd) {
    Tform1& f = open();
    f.show();
    f.activateWindow();
    ui(f).Add->setFocus();
    ASSERT_EQ(f.focusWidget(), ui(f).Add);
    add(f, "/opt/game");
    // Not the list box: giving it the focus would launch its entry.
    EXPECT_EQ(f.focusWidget(), ui(f).Add);
    f.hide();
}
