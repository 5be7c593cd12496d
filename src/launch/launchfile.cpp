// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launchfile.h"

#include <platform/safe_file.h>

#include <algorithm>
#include <string>

namespace launch {
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

// Why one line cannot be a value: "" when it can.
std::string lineProblem(std::string_view line, size_t number) {
    if (line.size() > kLaunchLineMaxBytes)
        return "Line " + std::to_string(number) + " is longer than " + std::to_string(kLaunchLineMaxBytes) + " bytes" +
               limitsText();
    // No name, path or number can hold one, and a program's path would end there.
    if (line.find('\0') != std::string_view::npos)
        return "It holds a NUL byte on line " + std::to_string(number) + "; a launch list is text.";
    return {};
}

}  // namespace

std::string launchTextProblem(std::string_view text) {
    if (text.size() > kLaunchFileMaxBytes) return tooLarge();
    size_t lines = 0;
    std::string problem;
    forEachLine(text, [&](std::string_view line) {
        problem = lineProblem(line, ++lines);
        return problem.empty();
    });
    if (!problem.empty()) return problem;
    if (lines / kColumnCount > kLaunchMaxEntries)
        return "It holds more than " + std::to_string(kLaunchMaxEntries) + " entries" + limitsText();
    // Which column a stray line belongs to cannot be told, and a save would drop it.
    if (lines % kColumnCount != 0)
        return "It holds " + std::to_string(lines) + " lines, which do not make whole entries of " +
               std::to_string(kColumnCount) + " lines each.";
    return {};
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

LoadResult loadLaunchFile(const std::filesystem::path& file) {
    const platform::FileText read = platform::readFileSafely(file, kLaunchFileMaxBytes);
    if (read.state == platform::FileText::State::Failed) return {{}, read.error};
    if (!read.complete) return {{}, platform::fileMessage("read", file, tooLarge())};
    if (std::string problem = launchTextProblem(read.text); !problem.empty())
        return {{}, platform::fileMessage("read", file, problem)};
    return {parseLaunchText(read.text), {}};
}

std::string updateLaunchFile(const std::filesystem::path& file, const LaunchEdit& edit) {
    // A new file gets the usual mode of a user's files; a rewrite keeps the old one.
    const platform::FileRules rules{kLaunchFileMaxBytes, 0666, true};
    return platform::updateFileSafely(
        file, rules, [&](const std::string& current, bool, std::string& error) -> std::optional<std::string> {
            // A file beyond the limits did not load either: it is not replaced.
            if (std::string problem = launchTextProblem(current); !problem.empty()) {
                error = platform::fileMessage("write", file, problem);
                return std::nullopt;
            }
            std::string text = formatLaunchText(edit(parseLaunchText(current)));
            if (std::string problem = launchTextProblem(text); !problem.empty()) {
                error = platform::fileMessage("write", file, "The list could not be read back: " + problem);
                return std::nullopt;
            }
            return text;
        });
}

std::string saveLaunchFile(const std::filesystem::path& file, const std::vector<LaunchEntry>& entries) {
    return updateLaunchFile(file, [&](std::vector<LaunchEntry>) { return entries; });
}

}  // namespace launch
