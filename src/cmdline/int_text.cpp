// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/int_text.h"

#include <limits>

namespace cmdline {
namespace {

// The magnitude is kept in 64 bits and stops growing once it is past what
// any 32-bit value needs, so no input can overflow it.
constexpr uint64_t kMagnitudeCap = uint64_t{1} << 32;

struct Scan {
    int32_t value = 0;
    bool digits = false;
    bool overflow = false;
    size_t end = 0;
};

int digitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isNegative(std::string_view text, size_t& pos) {
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return text[pos++] == '-';
    return false;
}

int readBase(std::string_view text, size_t& pos) {
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        pos += 2;
        return 16;
    }
    if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
        pos += 1;
        return 16;
    }
    return 10;
}

int32_t signedValue(uint64_t magnitude, bool negative, bool& overflow) {
    constexpr uint64_t maxPositive = std::numeric_limits<int32_t>::max();
    if (negative) {
        overflow = magnitude > maxPositive + 1;
        if (magnitude >= maxPositive + 1) return std::numeric_limits<int32_t>::min();
        return -static_cast<int32_t>(magnitude);
    }
    overflow = magnitude > maxPositive;
    return overflow ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

Scan scan(std::string_view text) {
    size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos) return Scan{0, false, false, 0};
    const bool negative = isNegative(text, pos);
    const int base = readBase(text, pos);
    Scan result;
    uint64_t magnitude = 0;
    for (int d; pos < text.size() && (d = digitValue(text[pos], base)) >= 0; ++pos) {
        result.digits = true;
        if (magnitude < kMagnitudeCap) magnitude = magnitude * base + d;
    }
    result.end = pos;
    result.value = signedValue(magnitude, negative, result.overflow);
    return result;
}

}  // namespace

int32_t lenientInt(std::string_view text) { return scan(text).value; }

std::optional<int32_t> strictInt(std::string_view text) {
    const Scan s = scan(text);
    if (!s.digits || s.overflow || s.end != text.size()) return std::nullopt;
    return s.value;
}

}  // namespace cmdline
