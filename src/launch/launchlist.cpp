#include "launch/launchlist.h"

#include <QString>
#include <utility>

LaunchList::LaunchList(QObject* parent) : QAbstractListModel(parent) {}

int LaunchList::count() const {
    return static_cast<int>(entries_.size());
}

const LaunchEntry& LaunchList::entry(int i) const {
    return entries_.at(static_cast<size_t>(i));
}

void LaunchList::append(LaunchEntry entry) {
    const int row = count();
    beginInsertRows({}, row, row);
    entries_.push_back(std::move(entry));
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
    endRemoveRows();
}

void LaunchList::setEntries(std::vector<LaunchEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

const std::vector<LaunchEntry>& LaunchList::entries() const {
    return entries_;
}

int LaunchList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant LaunchList::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.parent().isValid() || !contains(index.row())) return {};
    return QString::fromLocal8Bit(entries_[static_cast<size_t>(index.row())].name);
}

bool LaunchList::contains(int i) const {
    return i >= 0 && i < count();
}
