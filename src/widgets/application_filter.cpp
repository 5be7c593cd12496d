// SPDX-License-Identifier: GPL-3.0-or-later
#include "application_filter.h"

#include <QFileSystemModel>
#include <QRegularExpression>

namespace widgets {

std::vector<FileFilterEntry> parseFileFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    std::vector<FileFilterEntry> entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        FileFilterEntry entry{parts[i], {}};
        if (i + 1 < parts.size()) entry.patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        if (!entry.name.isEmpty() || !entry.patterns.isEmpty()) entries.push_back(std::move(entry));
    }
    return entries;
}

bool acceptsApplicationFile(const QFileInfo& info, const QStringList& patterns) {
    if (info.isDir() || info.isExecutable()) return true;
    const QString name = info.fileName();
    for (const QString& pattern : patterns) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(name).hasMatch()) return true;
    }
    return false;
}

ApplicationFilterProxy::ApplicationFilterProxy(QStringList patterns, QObject* parent)
    : QSortFilterProxyModel(parent), patterns_(std::move(patterns)) {}

void ApplicationFilterProxy::setPatterns(QStringList patterns) {
    patterns_ = std::move(patterns);
    invalidateFilter();
}

bool ApplicationFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return true;
    return acceptsApplicationFile(files->fileInfo(files->index(sourceRow, 0, sourceParent)), patterns_);
}

}  // namespace widgets
