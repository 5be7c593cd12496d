// SPDX-License-Identifier: GPL-3.0-or-later
// The About box's links on a system that cannot open them: a page left out
// of the installation, or a desktop with nothing to open it with.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include "aboutbox.h"

using shell::TAboutBox;

TEST(AboutBoxLinks, SayWhyAPageCannotBeOpenedAndStaySilentWhenItOpens) {
    QTemporaryDir dir;
    const QString page = dir.path() + "/credits.html";
    int asked = 0;
    const auto opens = [&](bool result) {
        return [&asked, result](const QUrl&) {
            ++asked;
            return result;
        };
    };

    const QString missing = TAboutBox::LinkProblem(QUrl::fromLocalFile(page), opens(true));
    EXPECT_TRUE(missing.contains(page) && missing.contains("not there")) << qPrintable(missing);
    EXPECT_EQ(asked, 0) << "a missing page was handed to the desktop";

    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString refused = TAboutBox::LinkProblem(QUrl::fromLocalFile(page), opens(false));
    EXPECT_TRUE(refused.contains(page) && refused.contains("No program")) << qPrintable(refused);
    QUrl contact = QUrl::fromLocalFile(page);
    contact.setFragment("reporting-problems");
    EXPECT_EQ(TAboutBox::LinkProblem(contact, opens(true)), "");
    EXPECT_EQ(asked, 2);
}
