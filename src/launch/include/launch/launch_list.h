// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launch list in memory: all seven columns of every entry in one model,
// which is also the item list of the main window's list box (ListBox1), so
// the list box and the columns can never disagree in length or order.

#include <QAbstractListModel>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "launch/launch_entry.h"
#include "platform/failure.h"

namespace launch {

class LaunchList : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LaunchList(QObject* parent = nullptr);

    int count() const;
    // Throws std::out_of_range for an index outside 0..count()-1.
    const LaunchEntry& entry(int i) const;

    void append(LaunchEntry entry);
    // replace and remove ignore an index outside 0..count()-1, so a stale
    // selection cannot corrupt the list.
    void replace(int i, LaunchEntry entry);
    void remove(int i);
    // The list as read from the file: the base that later saves merge from.
    void setEntries(std::vector<LaunchEntry> entries);
    const std::vector<LaunchEntry>& entries() const;

    // Rewrites the launch list file: the appends, replacements and removals
    // made since the list was loaded or last saved are applied to what the
    // file holds now (see launch_merge.h), so entries that another copy of
    // the program saved meanwhile are kept, and the list then shows them.
    // Nothing when saved, else the message; the list is unchanged then.
    platform::Result<> save(const std::filesystem::path& file);

    // One row per entry; Qt::DisplayRole is the name, decoded from the
    // system's 8-bit encoding.
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    bool contains(int i) const;

    std::vector<LaunchEntry> entries_;
    std::vector<LaunchEntry> base_;  // as last read or written
    std::vector<int> origins_;       // per entry: its index in base_, -1 when added since
};

}  // namespace launch
