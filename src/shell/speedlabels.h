// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace shell {

// A clock speed with exactly two decimals, the user's decimal separator and
// no thousands separators.
QString formatMhz(double mhz);

}  // namespace shell
