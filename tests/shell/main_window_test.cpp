// SPDX-License-Identifier: GPL-3.0-or-later
// The window itself: the launch box, the hints in the status bar, the help
// commands and F1, the About box.
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QWindow>

#include "file_text.h"
#include "hint_tracker.h"
#include "test_paths.h"
#include "widgets/dialogs.h"
#include "window_fixture.h"

using namespace shell;
using MainWindow = WindowFixture;
using widgets::QtDialogs;

TEST_F(MainWindow, DownShowsTheLaunchBoxAndUpHidesIt) {
    Tform1& f = open();
    f.show();
    EXPECT_EQ(f.centralWidget()->height(), 196);
    EXPECT_TRUE(ui(f).Down->isVisible());
    EXPECT_FALSE(ui(f).Up->isVisible());
    EXPECT_FALSE(ui(f).Up->isEnabled());
    QTest::mouseClick(ui(f).Down, Qt::LeftButton);
    EXPECT_EQ(f.centralWidget()->height(), 360);
    EXPECT_FALSE(ui(f).Down->isVisible());
    EXPECT_TRUE(ui(f).Up->isVisible() && ui(f).Up->isEnabled());
    EXPECT_EQ(ui(f).StatusBar1->geometry().bottom(), 359);
    EXPECT_TRUE(ui(f).ListBox1->isVisible());
    QTest::mouseClick(ui(f).Up, Qt::LeftButton);
    EXPECT_EQ(f.centralWidget()->height(), 196);
    EXPECT_TRUE(ui(f).Down->isVisible() && ui(f).Down->isEnabled());
    EXPECT_EQ(ui(f).StatusBar1->geometry().top(), 171);
}

TEST_F(MainWindow, StatusBarShowsTheHintUnderTheMouseOnlyWhenItChanges) {
    Tform1& f = open({"/SPEED=40", "/WAIT=5", "/usr/bin/true"});
    EXPECT_EQ(ui(f).StatusBar1->text(), "runforever   wait:5   speed:40   APP:/usr/bin/true ");
    f.show();
    QTest::mouseMove(ui(f).TrackBar1);
    EXPECT_EQ(ui(f).StatusBar1->text(), "Use the trackbar to select the slow down factor");
    QTest::mouseMove(ui(f).benchtime);
    EXPECT_EQ(ui(f).StatusBar1->text(),
              "Time needed to your CPU to perform the benchmark , the less is the better is!");
    QTest::mouseMove(f.centralWidget(), QPoint(132, 50));  // between the panels: no hint
    EXPECT_EQ(ui(f).StatusBar1->text(), "");
    // Nested controls take their parents' hint.
    EXPECT_EQ(THintTracker::hintOf(ui(f).named<QLabel>("Label6")), ui(f).named<QFrame>("Panel4")->toolTip());
    EXPECT_EQ(THintTracker::hintOf(ui(f).named<QLabel>("Label1")), "");
}

// Every control with a hint shows it, on both pages of the properties dialog
// too: check boxes pass unpressed mouse moves on to their hintless parent.
TEST_F(MainWindow, EveryControlWithAHintShowsItInTheStatusBar) {
    Tform1& f = open();
    f.DownClick();
    auto* pages = ui(f).Properties->findChild<QTabWidget*>();
    int checked = 0;
    for (int step = 0; step <= pages->count(); ++step) {  // the main window, then each page
        QWidget* window = step == 0 ? static_cast<QWidget*>(&f) : ui(f).Properties;
        f.setVisible(step == 0);
        pages->setCurrentIndex(std::max(step - 1, 0));
        window->show();
        QCoreApplication::processEvents();
        for (QWidget* control : window->findChildren<QWidget*>())
            if (!control->toolTip().isEmpty() && control->isVisible()) {
                QTest::mouseMove(control);
                const QPoint centre = control->mapToGlobal(control->rect().center());
                EXPECT_EQ(ui(f).StatusBar1->text(), THintTracker::hintOf(THintTracker::widgetUnder(control, centre)));
                EXPECT_FALSE(ui(f).StatusBar1->text().isEmpty()) << qPrintable(control->toolTip());
                ++checked;
            }
    }
    EXPECT_GE(checked, 25);
}

TEST_F(MainWindow, HelpMenuOpensContentsAndTheCommandLineTopic) {
    Tform1& f = open();
    ui(f).named<QAction>("Contents1")->trigger();
    ui(f).named<QAction>("Commandline1")->trigger();
    ASSERT_EQ(help.calls.size(), 2u);
    EXPECT_EQ(help.calls[0].command, HELP_FINDER);
    EXPECT_EQ(help.calls[0].data, 0);
    EXPECT_EQ(help.calls[1].command, HELP_CONTEXT);
    EXPECT_EQ(help.calls[1].data, 10);
    EXPECT_TRUE(help.calls[0].file.endsWith("lentora.hlp"));
}

TEST_F(MainWindow, F1OpensTheTopicOfTheWindowInFront) {
    Tform1& f = open();
    f.show();
    f.activateWindow();
    QApplication::setActiveWindow(&f);
    QTest::keyClick(&f, Qt::Key_F1);
    ASSERT_EQ(help.calls.size(), 1u);
    EXPECT_EQ(help.calls[0].data, 20);
    EXPECT_EQ(ui(f).AboutBox->property("helpContext").toInt(), 80);
    for (QAction* menu : f.menuBar()->actions()) EXPECT_EQ(menu->menu()->property("helpContext").toInt(), 100);
}

// Both centred by the program: without a window manager nobody else places them.
TEST_F(MainWindow, AboutBoxIsModalAndReused) {
    Tform1& f = open();
    f.show();
    const QPoint centre = f.screen()->availableGeometry().center();
    EXPECT_LE((f.frameGeometry().center() - centre).manhattanLength(), 8);  // frame margins aside
    f.move(0, 0);  // the About box does not follow the main window
    TAboutBox* box = ui(f).AboutBox;
    EXPECT_EQ(box->windowTitle(), "About Lentora!!!");
    EXPECT_EQ(box->ProductName->text(), "Lentora!!!");
    EXPECT_EQ(box->Version->text(), "Version 2.05");
    EXPECT_TRUE(box->OKButton->isDefault());
    bool wasModal = false;
    QPoint boxCentre;
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, [&] {
            wasModal = QApplication::activeModalWidget() == box;
            boxCentre = box->frameGeometry().center();
            box->OKButton->click();
        });
        f.About1Click();
        EXPECT_TRUE(wasModal);
        EXPECT_EQ(ui(f).AboutBox, box);
        EXPECT_LE((boxCentre - centre).manhattanLength(), 8);
    }
}

TEST_F(MainWindow, AboutBoxLinksGoToTheDesktopsDefaultAction) {
    Tform1& f = open();
    std::vector<QUrl> opened;
    ui(f).AboutBox->OpenLink = [&](const QUrl& url) { opened.push_back(url); };
    for (QLabel* link : {ui(f).AboutBox->HomePage, ui(f).AboutBox->Contact, ui(f).AboutBox->Credits})
        emit link->linkActivated(link->text().section('"', 1, 1));
    EXPECT_EQ(opened, (std::vector<QUrl>{TAboutBox::homePageUrl(), TAboutBox::contactUrl(), TAboutBox::creditsUrl()}));
    // Pages that come with the program, also where it runs from its build folder.
    const QString build = QString::fromStdString(std::filesystem::path(lentoraBinaryPath()).parent_path());
    for (const auto& [url, heading] : {std::pair{TAboutBox::homePageUrl(build), "## Reporting problems"},
                                       std::pair{TAboutBox::creditsUrl(build), "<h1>Lentora 2.05: credits</h1>"}})
        EXPECT_NE(slurp(url.toLocalFile().toStdString()).find(heading), std::string::npos)
            << qPrintable(url.toString());
}

TEST(HelpFile, TopicsAreFoundByContextNumberAndAMissingFileIsReported) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/help.hlp";
    spit(path.toStdString(), "header\n@topic 10 Command line\n<p>options</p>\n@topic 20 Using\n<p>use</p>\n");
    const HelpFile help = readHelpFile(path);
    ASSERT_EQ(help.topics.size(), 2u);
    EXPECT_TRUE(helpPage(help, HELP_CONTEXT, 10).contains("options"));
    EXPECT_FALSE(helpPage(help, HELP_CONTEXT, 10).contains("use</p>"));
    EXPECT_TRUE(helpPage(help, HELP_FINDER, 0).contains("Command line"));
    EXPECT_TRUE(helpPage(help, HELP_CONTEXT, 99).contains("no help topic"));
    const HelpFile missing = readHelpFile(dir.path() + "/nothing.hlp");
    EXPECT_TRUE(helpPage(missing, HELP_FINDER, 0).contains("Cannot open the help file"));
}

TEST(HelpFile, TheShippedFileHasEveryTopicTheProgramAsksFor) {
    const HelpFile help = readHelpFile(QString(LENTORA_SOURCE_DIR) + "/data/lentora.hlp");
    ASSERT_FALSE(help.error);
    for (int context : {10, 20, 30, 80, 100})
        EXPECT_FALSE(helpPage(help, HELP_CONTEXT, context).contains("no help topic")) << context;
}

TEST(HelpViewerWindow, ShowsTheTopicAndReportsAMissingFile) {
    THelpViewer viewer("/nonexistent/lentora.hlp");
    viewer.WinHelp(nullptr, QString(), HELP_FINDER, 0);
    ASSERT_NE(viewer.window(), nullptr);
    EXPECT_TRUE(viewer.window()->isVisible());
}

struct BlockedState : QObject {  // follows whether a window is blocked by a modal one
    bool blocked = false;
    explicit BlockedState(QWidget* window) { window->windowHandle()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        blocked = e->type() == QEvent::WindowBlocked || (blocked && e->type() != QEvent::WindowUnblocked);
        return false;
    }
};

// Help opened from the main window stays usable while a dialog blocks that window.
TEST_F(MainWindow, HelpStaysUsableWhileADialogIsOpen) {
    Tform1& f = open();
    f.show();
    THelpViewer viewer(QString(LENTORA_SOURCE_DIR) + "/data/lentora.hlp");
    viewer.WinHelp(&f, QString(), HELP_FINDER, 0);
    BlockedState help(viewer.window());
    QtDialogs real;
    const std::function<void()> modalDialogs[] = {[&] { f.About1Click(); }, [&] { ui(f).Properties->ShowModal(); },
                                                  [&] { real.information(&f, "Information", "text"); },
                                                  [&] { real.openFile(&f, "Application|*.EXE;"); }};
    for (const auto& showModal : modalDialogs) {
        bool helpBlocked = true;
        QTimer::singleShot(0, [&] {
            helpBlocked = help.blocked;
            static_cast<QDialog*>(QApplication::activeModalWidget())->reject();
        });
        showModal();
        EXPECT_FALSE(helpBlocked);
    }
}

TEST_F(MainWindow, StartUpLoadsTheLaunchListIntoTheListBox) {
    spit(launchFile,
         "Old game\r\nSlow tool\r\n/games/old\r\n/tools/slow\r\n60\r\n40\r\n0\r\n300\r\n5\r\n0\r\n"
         "close\r\nnoclose\r\nminimized\r\nnotminimized\r\n");
    Tform1& f = open();
    ASSERT_EQ(ui(f).ListBox1->model()->rowCount(), 2);
    EXPECT_EQ(ui(f).ListBox1->model()->index(0, 0).data().toString(), "Old game");
    EXPECT_EQ(ui(f).ListBox1->model()->index(1, 0).data().toString(), "Slow tool");
    EXPECT_TRUE(dialogs.shown.empty());
}
