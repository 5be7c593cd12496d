// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The files the program opens at run time: the help file, the README, the
// credits and the licence, with the pictures the README shows.
#include <QString>

namespace shell {

// Where the file NAME of the program in programDir (empty: this program)
// is: beside the program (its build folder), in <bindir>/../share/lentora
// (an installed tree, wherever it was moved), or in the data folder of the
// configured prefix (a copy of the program elsewhere, or a link to it). The
// last is returned when none holds it, so that a message can name it.
QString installedFilePath(const QString& name, QString programDir = QString());

}  // namespace shell
