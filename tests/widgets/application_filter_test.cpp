// SPDX-License-Identifier: GPL-3.0-or-later
// The "Application" filter of the open-file dialog on real files: programs
// without an extension, DOS and Windows programs in any letter case.
#include "application_filter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <set>

#include "file_text.h"
#include "widgets/dialogs.h"

using namespace widgets;

namespace {
const QStringList kPatterns{"*.EXE", "*.COM", "*.BAT"};

struct FilterFiles : ::testing::Test {
    QTemporaryDir dir;

    QString make(const QString& name, QFile::Permissions permissions) {
        const QString path = dir.filePath(name);
        spit(path.toStdString(), "#!/bin/sh\n");
        EXPECT_TRUE(QFile::setPermissions(path, permissions));
        return path;
    }
    static constexpr QFile::Permissions kPlain = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    static constexpr QFile::Permissions kRunnable = kPlain | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
};
}  // namespace

TEST(FileFilter, ReadsNamesAndPatterns) {
    const auto entries = parseFileFilter("Application|*.EXE;*.COM;*.BAT;");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "Application");
    EXPECT_EQ(entries[0].patterns, kPatterns);
    const auto two = parseFileFilter("Text|*.txt|All|*");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].name, "All");
    EXPECT_EQ(two[1].patterns, QStringList({"*"}));
}

TEST_F(FilterFiles, AcceptsProgramsAndExtensionsInAnyCaseButNotPlainFiles) {
    EXPECT_TRUE(acceptsApplicationFile(QFileInfo(make("game", kRunnable)), kPatterns));
    EXPECT_TRUE(acceptsApplicationFile(QFileInfo(make("FOO.Exe", kPlain)), kPatterns));
    EXPECT_TRUE(acceptsApplicationFile(QFileInfo(make("setup.bat", kPlain)), kPatterns));
    EXPECT_FALSE(acceptsApplicationFile(QFileInfo(make("notes.txt", kPlain)), kPatterns));
    EXPECT_FALSE(acceptsApplicationFile(QFileInfo(make("exe", kPlain)), kPatterns));
    EXPECT_TRUE(acceptsApplicationFile(QFileInfo(dir.path()), kPatterns));
}

TEST_F(FilterFiles, ProxyOverTheFileSystemModelShowsOnlyApplicationsAndDirectories) {
    make("game", kRunnable);
    make("FOO.Exe", kPlain);
    make("notes.txt", kPlain);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));

    QFileSystemModel files;
    ApplicationFilterProxy proxy(kPatterns);
    proxy.setSourceModel(&files);
    const QModelIndex root = files.setRootPath(dir.path());
    QElapsedTimer waited;
    waited.start();
    while (files.rowCount(root) < 4 && waited.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(files.rowCount(root), 4);

    const auto shown = [&, proxyRoot = proxy.mapFromSource(root)] {
        std::set<QString> names;
        for (int row = 0; row < proxy.rowCount(proxyRoot); ++row)
            names.insert(proxy.index(row, 0, proxyRoot).data().toString());
        return names;
    };
    EXPECT_EQ(shown(), (std::set<QString>{"game", "FOO.Exe", "sub"}));
    proxy.setPatterns({"*.txt"});
    EXPECT_EQ(shown(), (std::set<QString>{"game", "notes.txt", "sub"}));
}

// The real dialog, answered by a timer from inside its own modal loop.
TEST_F(FilterFiles, RealOpenDialogFiltersApplicationsAndKeepsTheCurrentDirectory) {
    const QString game = make("game", kRunnable);
    const QString before = QDir::currentPath();
    QStringList filters;
    bool proxied = false, existingOnly = false, qtOwn = false;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog || !dialog->isVisible()) continue;
            filters = dialog->nameFilters();
            proxied = qobject_cast<ApplicationFilterProxy*>(dialog->proxyModel()) != nullptr;
            existingOnly = dialog->fileMode() == QFileDialog::ExistingFile;
            qtOwn = dialog->testOption(QFileDialog::DontUseNativeDialog);
            // As the user would type it: selectFile() leaves a focused name box alone.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (!name) {
                dialog->reject();  // fails below instead of waiting forever
                continue;
            }
            name->setText(game);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the choice
        }
    });
    answer.start();
    QtDialogs dialogs;
    const std::optional<QString> chosen = dialogs.openFile(nullptr, "Application|*.EXE;*.COM;*.BAT;");
    answer.stop();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(game).canonicalFilePath());
    EXPECT_EQ(filters, QStringList({"Application (*)"}));
    EXPECT_TRUE(proxied);
    EXPECT_TRUE(existingOnly);
    EXPECT_TRUE(qtOwn);
    EXPECT_EQ(QDir::currentPath(), before);
}
