// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing the Windows .reg text format (version 5.00) for the
// HKEY_CURRENT_USER keys of the per-user store.
#include <string>
#include <string_view>

#include "reg_document.h"

namespace platform::reg {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

// Whatever cannot be understood (other roots, other value types, damaged or
// truncated lines, binary garbage) is left out: it reads as missing.
Document parseRegText(std::string_view text);
std::string formatRegText(const Document& document);

// Edits of a store's text that keep every line they do not own byte for
// byte: comments, values of other types, other keys, damaged lines. A value
// owns its line (with the continuation lines of a multi-line value).
// setValueInText replaces the last line naming the value in a section of
// the key, or adds one at the end of the key's last section, or adds the key.
std::string setValueInText(std::string_view text, const std::string& key, const std::string& name, const Data& data);
// Adds an empty section for the key at the end.
std::string addKeyToText(std::string_view text, const std::string& key);

}  // namespace platform::reg
