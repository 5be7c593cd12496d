// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launch_file.h"

#include <platform/safe_file.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace launch {

using platform::Failure;
using platform::Result;

namespace {

using Column = std::string LaunchEntry::*;
constexpr size_t kColumnCount = 7;
constexpr Column kColumns[kColumnCount] = {&LaunchEntry::name,         &LaunchEntry::path, &LaunchEntry::factor,
                                           &LaunchEntry::runFor,       &LaunchEntry::wait, &LaunchEntry::closeToken,
                                           &LaunchEntry::minimizeToken};

// Calls visit(line) for each line until it returns false.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (!visit(text.substr(start, end - start))) return;
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;
    }
}

size_t countLines(std::string_view text) {
    size_t count = 0;
    forEachLine(text, [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

std::string limitsText() {
    return "; Lentora reads launch lists of at most " + std::to_string(kLaunchFileMaxBytes / 1024) + " KiB, " +
           std::to_string(kLaunchMaxEntries) + " entries and " + std::to_string(kLaunchLineMaxBytes) + " bytes a line.";
}

std::string tooLarge() {
    return "File too large: it holds more than " + std::to_string(kLaunchFileMaxBytes) + " bytes" + limitsText();
}

// Whether one line can be a value, and why not.
Result<> checkLine(std::string_view line, size_t number) {
    if (line.size() > kLaunchLineMaxBytes)
        return Failure{"Line " + std::to_string(number) + " is longer than " + std::to_string(kLaunchLineMaxBytes) +
                       " bytes" + limitsText()};
    // No name, path or number can hold one, and a program's path would end there.
    if (line.find('\0') != std::string_view::npos)
        return Failure{"It holds a NUL byte on line " + std::to_string(number) + "; a launch list is text."};
    return platform::done();
}

}  // namespace

Result<> checkLaunchText(std::string_view text) {
    if (text.size() > kLaunchFileMaxBytes) return Failure{tooLarge(), EFBIG};
    size_t lines = 0;
    Result<> checked;
    forEachLine(text, [&](std::string_view line) {
        checked = checkLine(line, ++lines);
        return bool(checked);
    });
    if (!checked) return checked;
    if (lines / kColumnCount > kLaunchMaxEntries)
        return Failure{"It holds more than " + std::to_string(kLaunchMaxEntries) + " entries" + limitsText()};
    // Which column a stray line belongs to cannot be told, and a save would drop it.
    if (lines % kColumnCount != 0)
        return Failure{"It holds " + std::to_string(lines) + " lines, which do not make whole entries of " +
                       std::to_string(kColumnCount) + " lines each."};
    return platform::done();
}

std::vector<LaunchEntry> parseLaunchText(std::string_view text) {
    const size_t n = countLines(text) / kColumnCount;
    std::vector<LaunchEntry> entries(n);
    size_t index = 0;
    forEachLine(text, [&](std::string_view line) {
        if (index >= n * kColumnCount) return false;
        entries[index % n].*kColumns[index / n] = line;
        ++index;
        return true;
    });
    return entries;
}

std::string formatLaunchText(const std::vector<LaunchEntry>& entries) {
    std::string text;
    for (const Column column : kColumns) {
        for (const LaunchEntry& entry : entries) {
            text += entry.*column;
            text += "\r\n";
        }
    }
    return text;
}

Result<std::vector<LaunchEntry>> loadLaunchFile(const std::filesystem::path& file) {
    const Result<platform::FileText> read = platform::readFileSafely(file, kLaunchFileMaxBytes);
    if (const Failure* failure = read.failure()) return *failure;
    if (!read->complete) return platform::fileFailure("read", file, tooLarge(), EFBIG);
    if (auto problem = checkLaunchText(read->text).failure())
        return platform::fileFailure("read", file, problem->reason);
    return parseLaunchText(read->text);
}

Result<> updateLaunchFile(const std::filesystem::path& file, const LaunchEdit& edit) {
    // A new file gets the usual mode of a user's files; a rewrite keeps the old one.
    const platform::FileRules rules{kLaunchFileMaxBytes, 0666, true};
    return platform::updateFileSafely(
        file, rules, [&](const std::string& current, bool) -> Result<std::optional<std::string>> {
            // A file beyond the limits did not load either: it is not replaced.
            if (auto problem = checkLaunchText(current).failure())
                return platform::fileFailure("write", file, problem->reason);
            std::string text = formatLaunchText(edit(parseLaunchText(current)));
            if (auto problem = checkLaunchText(text).failure())
                return platform::fileFailure("write", file, "The list could not be read back: " + problem->reason);
            return std::optional(std::move(text));
        });
}

Result<> saveLaunchFile(const std::filesystem::path& file, const std::vector<LaunchEntry>& entries) {
    return updateLaunchFile(file, [&](std::vector<LaunchEntry>) { return entries; });
}

}  // namespace launch
