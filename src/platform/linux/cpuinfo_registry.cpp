// SPDX-License-Identifier: GPL-3.0-or-later
// The machine's processor key, read from /proc/cpuinfo: "~MHz" is the
// "cpu MHz" line of processor 0, rounded to the nearest whole MHz (as the
// figure recorded by Windows is a whole number near the nominal clock; the
// kernel gives e.g. "2994.374").
#include <charconv>
#include <cmath>
#include <fstream>
#include <string>

#include "platform/registry.h"

namespace platform {

namespace {

std::string trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t");
    auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Splits "name<tabs>: value" into its trimmed halves; false without a colon.
bool splitField(const std::string& line, std::string& name, std::string& value) {
    auto colon = line.find(':');
    if (colon == std::string::npos) return false;
    name = trimmed(line.substr(0, colon));
    value = trimmed(line.substr(colon + 1));
    return true;
}

// A whole number of MHz from the kernel's text; nothing when it is not a
// number that fits a DWORD. from_chars ignores the locale, which Qt sets
// from the environment (a decimal comma would break strtod).
std::optional<uint32_t> wholeMhz(const std::string& text) {
    double mhz = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mhz);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(mhz)) return std::nullopt;
    double rounded = std::round(mhz);
    if (rounded < 0 || rounded > 4294967295.0) return std::nullopt;
    return static_cast<uint32_t>(rounded);
}

// The "cpu MHz" of the block that starts with "processor : 0".
std::optional<uint32_t> firstProcessorMhz(const std::filesystem::path& cpuinfo) {
    std::ifstream in(cpuinfo);
    std::string line, name, value;
    bool inFirst = false;
    while (std::getline(in, line)) {
        if (!splitField(line, name, value)) continue;
        if (name == "processor")
            inFirst = value == "0";
        else if (inFirst && name == "cpu MHz")
            return wholeMhz(value);
    }
    return std::nullopt;
}

class CpuinfoRegistry final : public MachineRegistry {
public:
    explicit CpuinfoRegistry(std::filesystem::path cpuinfo) : cpuinfo_(std::move(cpuinfo)) {}

    // The file is read at each opening, so the key shows the kernel's
    // current figure.
    bool openProcessorKey() override {
        mhz_ = firstProcessorMhz(cpuinfo_);
        open_ = mhz_.has_value();
        return open_;
    }

    std::optional<uint32_t> readDword(const std::string& name) override {
        if (!open_ || name != "~MHz") return std::nullopt;
        return mhz_;
    }

    void closeKey() override { open_ = false; }

private:
    std::filesystem::path cpuinfo_;
    std::optional<uint32_t> mhz_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<MachineRegistry> cpuinfoRegistry(const std::filesystem::path& cpuinfo) {
    return std::make_unique<CpuinfoRegistry>(cpuinfo);
}

}  // namespace platform
