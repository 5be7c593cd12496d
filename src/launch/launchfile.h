#pragma once
// The launch list file: plain text, one value per line, seven columns one
// after the other (all names, then all paths, factors, run-for seconds, wait
// seconds, close tokens, minimize tokens). Bytes are kept as they are.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "launch/launchentry.h"

// Looked up in the current working directory.
inline constexpr char kLaunchFileName[] = "lentora.ini";

// Files beyond this size are refused instead of read: the list box is meant
// for a handful of entries, and each stored line costs far more in memory.
inline constexpr std::uintmax_t kLaunchFileMaxBytes = 128u * 1024 * 1024;

struct LoadResult {
    std::vector<LaunchEntry> entries;
    std::string error;  // empty on success
};

// A missing file gives an empty list without error. A file that cannot be
// read (a directory, not a regular file, unreadable, too large) gives an
// empty list and a message with the system's reason.
LoadResult loadLaunchFile(const std::filesystem::path& file);

// Replaces the file atomically (temporary file in the same directory, synced,
// then renamed over it), so a failed save leaves the old file as it was.
// Returns "" on success, else a message with the system's reason.
std::string saveLaunchFile(const std::filesystem::path& file, const std::vector<LaunchEntry>& entries);

// The text form on its own. A line ends at CR, LF or CR LF; a NUL byte ends
// the text; lines after the last complete group of seven are ignored.
std::vector<LaunchEntry> parseLaunchText(std::string_view text);
// Every value followed by CR LF; an empty list gives an empty text.
std::string formatLaunchText(const std::vector<LaunchEntry>& entries);
