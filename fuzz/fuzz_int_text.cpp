// SPDX-License-Identifier: GPL-3.0-or-later
// The lenient and strict number conversions on arbitrary bytes: no
// undefined behaviour, the strict form agrees with the lenient one wherever
// it accepts, and every value read prints back to a text the strict form
// accepts as the same value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cmdline/int_text.h"

using namespace cmdline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int32_t lenient = lenientInt(text);
    const std::optional<int32_t> strict = strictInt(text);
    if (strict && *strict != lenient) std::abort();
    if (strictInt(std::to_string(lenient)) != lenient) std::abort();
    return 0;
}
