// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launch_list.h"

#include <QString>
#include <numeric>
#include <utility>

#include "launch/launch_file.h"
#include "launch_merge.h"

namespace launch {

LaunchList::LaunchList(QObject* parent) : QAbstractListModel(parent) {}

int LaunchList::count() const { return static_cast<int>(entries_.size()); }

const LaunchEntry& LaunchList::entry(int i) const { return entries_.at(static_cast<size_t>(i)); }

void LaunchList::append(LaunchEntry entry) {
    const int row = count();
    beginInsertRows({}, row, row);
    entries_.push_back(std::move(entry));
    origins_.push_back(-1);
    endInsertRows();
}

void LaunchList::replace(int i, LaunchEntry entry) {
    if (!contains(i)) return;
    entries_[static_cast<size_t>(i)] = std::move(entry);
    const QModelIndex changed = index(i);
    emit dataChanged(changed, changed);
}

void LaunchList::remove(int i) {
    if (!contains(i)) return;
    beginRemoveRows({}, i, i);
    entries_.erase(entries_.begin() + i);
    origins_.erase(origins_.begin() + i);
    endRemoveRows();
}

void LaunchList::setEntries(std::vector<LaunchEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    base_ = entries_;
    origins_.resize(entries_.size());
    std::iota(origins_.begin(), origins_.end(), 0);
    endResetModel();
}

platform::Result<> LaunchList::save(const std::filesystem::path& file) {
    std::vector<LaunchEntry> written;
    auto saved = updateLaunchFile(file, [&](std::vector<LaunchEntry> onDisk) {
        written = mergeLaunchEntries(base_, entries_, origins_, onDisk);
        return written;
    });
    if (!saved) return saved;
    if (written == entries_) {
        base_ = std::move(written);
        std::iota(origins_.begin(), origins_.end(), 0);
    } else {
        setEntries(std::move(written));
    }
    return platform::done();
}

const std::vector<LaunchEntry>& LaunchList::entries() const { return entries_; }

int LaunchList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QVariant LaunchList::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.parent().isValid() || !contains(index.row())) return {};
    return QString::fromLocal8Bit(entries_[static_cast<size_t>(index.row())].name);
}

bool LaunchList::contains(int i) const { return i >= 0 && i < count(); }

}  // namespace launch
