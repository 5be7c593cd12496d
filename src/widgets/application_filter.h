// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open-file dialog's filter on Linux. Programs there rarely carry an
// extension, so a filter entry keeps its patterns (matched in any letter
// case, for programs run through Wine or DOSBox) and also shows every file
// the user may execute. Directories are always shown so the user can move
// through them.
#include <QFileInfo>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace widgets {

struct FileFilterEntry {
    QString name;          // "Application"
    QStringList patterns;  // "*.EXE", "*.COM", "*.BAT"
};

// Reads a filter written as "name|pattern;pattern;|name|pattern" (empty
// patterns are dropped; a name without patterns matches executables only).
std::vector<FileFilterEntry> parseFileFilter(const QString& filter);

// True for a directory, a file the user may execute, or a file whose name
// matches one of the patterns regardless of letter case.
bool acceptsApplicationFile(const QFileInfo& info, const QStringList& patterns);

// Filters a QFileSystemModel (the source model of a non-native QFileDialog)
// with acceptsApplicationFile. Rows of other models are all accepted.
class ApplicationFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ApplicationFilterProxy(QStringList patterns, QObject* parent = nullptr);
    void setPatterns(QStringList patterns);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QStringList patterns_;
};

}  // namespace widgets
