// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFont>

namespace shell {

// The window's fonts, with the nearest families this machine has.
QFont windowFont();  // "MS Sans Serif", 8 point (11 pixels)
QFont tahomaFont();  // "Tahoma", 13 pixels

}  // namespace shell
