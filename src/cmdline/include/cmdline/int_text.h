// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Integer conversions of texts typed by the user: command-line values, launch
// entry numbers and the properties dialog's edit boxes.

#include <cstdint>
#include <optional>
#include <string_view>

namespace cmdline {

// Reads leading blanks (spaces), one optional '+' or '-', then decimal digits,
// or hexadecimal digits after '$', 'x', 'X', "0x" or "0X". Stops at the first
// character that does not fit and returns the number read so far; a text
// without digits gives 0. Never fails: a number beyond the 32-bit range
// saturates to INT32_MIN or INT32_MAX, so a huge value keeps its sign.
int32_t lenientInt(std::string_view text);

// The same reading, but the whole text must be the number: nothing when no
// digit was read, when any character is left over (trailing blanks included)
// or when the number does not fit in 32 bits.
std::optional<int32_t> strictInt(std::string_view text);

}  // namespace cmdline
