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

}  // namespace platform::reg
