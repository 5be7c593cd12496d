// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launch list file: plain text, one value per line, seven columns one
// after the other (all names, then all paths, factors, run-for seconds, wait
// seconds, close tokens, minimize tokens). Bytes are kept as they are.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/launch_entry.h"
#include "platform/failure.h"

namespace launch {

// Looked up in the current working directory.
inline constexpr char kLaunchFileName[] = "lentora.ini";

// A launch list holds a handful of entries. Files beyond these limits are
// refused with a message instead of read (and never replaced): they keep the
// memory within a few megabytes and the start under a second, and the list
// box never has to measure a name of megabytes.
inline constexpr std::uintmax_t kLaunchFileMaxBytes = 1024 * 1024;
inline constexpr std::size_t kLaunchLineMaxBytes = 4096;
inline constexpr std::size_t kLaunchMaxEntries = 10000;

// A missing file gives an empty list. A file that cannot be read (a
// directory, not a regular file, unreadable, beyond the limits, a NUL byte,
// lines that do not make whole entries, a link that another user made) gives
// the message, and is never replaced.
platform::Result<std::vector<LaunchEntry>> loadLaunchFile(const std::filesystem::path& file);

// Rewrites the file from the entries that edit makes of the entries the
// file holds now (read again under a lock shared with other copies of the
// program). A file that cannot be read is never replaced; a failed save
// leaves the old file as it was (see platform/safe_file.h). Nothing when
// saved, else the message.
using LaunchEdit = std::function<std::vector<LaunchEntry>(std::vector<LaunchEntry> onDisk)>;
platform::Result<> updateLaunchFile(const std::filesystem::path& file, const LaunchEdit& edit);
// Writes exactly these entries.
platform::Result<> saveLaunchFile(const std::filesystem::path& file, const std::vector<LaunchEntry>& entries);

// Whether a text is a launch list that can be read and saved again without
// losing a byte, and why not (beyond the limits, a NUL byte, lines that do
// not make whole entries).
platform::Result<> checkLaunchText(std::string_view text);

// The text form on its own. A line ends at CR, LF or CR LF; every other byte
// belongs to the value; lines after the last complete group of seven are
// ignored (checkLaunchText refuses such a text).
std::vector<LaunchEntry> parseLaunchText(std::string_view text);
// Every value followed by CR LF; an empty list gives an empty text.
std::string formatLaunchText(const std::vector<LaunchEntry>& entries);

}  // namespace launch
