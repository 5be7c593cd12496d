// SPDX-License-Identifier: GPL-3.0-or-later
// The About box's links where a page was left out or nothing can open it.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "about_box.h"

TEST(AboutBoxLinks, SayWhyAPageCannotBeOpenedAndStaySilentWhenItOpens) {
    QTemporaryDir dir;
    const QString page = dir.path() + "/credits.html";
    int asked = 0;
    const auto opener = [&asked](bool opens) {
        return [&asked, opens](const QUrl&) {
            ++asked;
            return opens;
        };
    };
    const QUrl url = QUrl::fromLocalFile(page);
    EXPECT_TRUE(
        shell::TAboutBox::linkProblem(url, opener(true)).value_or("").contains(page + ": the file is not there"));
    EXPECT_EQ(asked, 0) << "a missing page was handed to the desktop";
    QFile(page).open(QIODevice::WriteOnly);
    EXPECT_TRUE(shell::TAboutBox::linkProblem(url, opener(false))
                    .value_or("")
                    .startsWith("No program is set up to open " + page));
    EXPECT_FALSE(shell::TAboutBox::linkProblem(url, opener(true)));
    EXPECT_EQ(asked, 2);
}
