// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launch_list.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <stdexcept>

#include "launch/launch_file.h"

using namespace launch;

namespace {

LaunchEntry named(const std::string& name) { return {name, "/bin/" + name, "50", "0", "0", "noclose", "notminimized"}; }

class LaunchListModel : public testing::Test {
protected:
    LaunchListModel() {
        // A proxy keeps its own row mapping, updated only through the model's
        // signals: it shows what an attached view would show.
        proxy_.setSourceModel(&list_);
    }

    void expectConsistent() {
        ASSERT_EQ(list_.rowCount(), static_cast<int>(list_.entries().size()));
        ASSERT_EQ(list_.count(), list_.rowCount());
        ASSERT_EQ(proxy_.rowCount(), list_.rowCount());
        for (int i = 0; i < list_.count(); ++i) {
            EXPECT_EQ(proxy_.index(i, 0).data().toString().toStdString(), list_.entry(i).name);
            EXPECT_EQ(list_.entry(i).name, list_.entries()[static_cast<size_t>(i)].name);
        }
    }

    LaunchList list_;
    QSortFilterProxyModel proxy_;
    QAbstractItemModelTester tester_{&list_, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(LaunchListModel, AppendAddsAtTheEnd) {
    EXPECT_EQ(list_.count(), 0);
    QSignalSpy inserted(&list_, &QAbstractItemModel::rowsInserted);
    list_.append(named("a"));
    list_.append(named("b"));
    expectConsistent();
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 1);
    EXPECT_EQ(list_.entry(1).path, "/bin/b");
}

TEST_F(LaunchListModel, ReplaceChangesOneRowInPlace) {
    list_.setEntries({named("a"), named("b"), named("c")});
    QSignalSpy changed(&list_, &QAbstractItemModel::dataChanged);
    LaunchEntry edited = named("B2");
    edited.factor = "150";
    list_.replace(1, edited);
    expectConsistent();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 1);
    EXPECT_EQ(list_.entry(1).factor, "150");
    EXPECT_EQ(list_.entry(0).name, "a");
    EXPECT_EQ(list_.entry(2).name, "c");
}

TEST_F(LaunchListModel, ReplaceIsSeenThroughAFilter) {
    list_.setEntries({named("keep"), named("drop")});
    proxy_.setFilterFixedString("keep");
    ASSERT_EQ(proxy_.rowCount(), 1);
    list_.replace(1, named("keep too"));
    EXPECT_EQ(proxy_.rowCount(), 2);
}

TEST_F(LaunchListModel, RemoveDeletesAllColumnsOfOneEntry) {
    list_.setEntries({named("a"), named("b"), named("c")});
    QSignalSpy removed(&list_, &QAbstractItemModel::rowsRemoved);
    list_.remove(1);
    expectConsistent();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(list_.entry(1).path, "/bin/c");
    list_.remove(0);
    list_.remove(0);
    expectConsistent();
    EXPECT_EQ(list_.count(), 0);
}

TEST_F(LaunchListModel, BadIndexChangesNothing) {
    list_.setEntries({named("a")});
    QSignalSpy anyChange(&list_, &QAbstractItemModel::dataChanged);
    QSignalSpy removed(&list_, &QAbstractItemModel::rowsRemoved);
    list_.replace(-1, named("x"));
    list_.replace(1, named("x"));
    list_.remove(-1);
    list_.remove(1);
    expectConsistent();
    EXPECT_EQ(anyChange.count() + removed.count(), 0);
    EXPECT_EQ(list_.entry(0).name, "a");
    EXPECT_THROW(list_.entry(1), std::out_of_range);
    EXPECT_THROW(list_.entry(-1), std::out_of_range);
}

TEST_F(LaunchListModel, SetEntriesResetsTheView) {
    list_.setEntries({named("a"), named("b")});
    QSignalSpy reset(&list_, &QAbstractItemModel::modelReset);
    list_.setEntries({named("x")});
    expectConsistent();
    EXPECT_EQ(reset.count(), 1);
    list_.setEntries({});
    expectConsistent();
}

TEST_F(LaunchListModel, ShowsTheNameDecoded) {
    list_.append(named("Spiel \xC3\xBC"));
    EXPECT_EQ(list_.data(list_.index(0), Qt::DisplayRole).toString(), QString::fromUtf8("Spiel \xC3\xBC"));
    EXPECT_FALSE(list_.data(list_.index(0), Qt::DecorationRole).isValid());
    EXPECT_FALSE(list_.data(list_.index(5), Qt::DisplayRole).isValid());
}

TEST_F(LaunchListModel, ListHasNoChildren) {
    list_.append(named("a"));
    EXPECT_EQ(list_.rowCount(list_.index(0)), 0);
}

// Two copies of the program in one folder, each saving its own additions,
// a removal and a change in turn: every change reaches the file, and each
// copy's list shows the other's entries after its save. An entry one copy
// changed and the other removed stays, changed.
TEST(LaunchListSave, TwoCopiesSavingInTurnLoseNothing) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.path().toStdString() + "/lentora.ini";
    LaunchList copies[2];
    for (int i = 0; i < 10; ++i) {
        copies[i % 2].append(named("e" + std::to_string(i)));
        ASSERT_TRUE(copies[i % 2].save(file));
    }
    const auto first = loadLaunchFile(file);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), 10u);
    copies[0].remove(0);
    copies[0].replace(0, named("changed"));
    ASSERT_TRUE(copies[0].save(file));
    copies[1].replace(0, named("e0 edited"));
    copies[1].append(named("last"));
    ASSERT_TRUE(copies[1].save(file));
    const auto last = loadLaunchFile(file);
    ASSERT_TRUE(last);
    std::vector<std::string> names;
    for (const LaunchEntry& e : *last) names.push_back(e.name);
    const std::vector<std::string> expected{"changed", "e2", "e3", "e4",        "e5",  "e6",
                                            "e7",      "e8", "e9", "e0 edited", "last"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(copies[1].entries(), *last);
}

}  // namespace
