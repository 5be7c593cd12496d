// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/installed_files.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace shell {

// Not under share/doc: distributions compress what is there (README.md
// becomes README.md.gz) or leave it out, and a program may not depend on it.
QString installedFilePath(const QString& name, QString programDir) {
    if (programDir.isEmpty()) programDir = QCoreApplication::applicationDirPath();
    const QString installed = QString(LENTORA_INSTALLED_DATADIR) + "/" + name;
    for (const QString& candidate : {programDir + "/" + name, programDir + "/../share/lentora/" + name, installed})
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
    return installed;
}

}  // namespace shell
