// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and rewriting the small files the program keeps (the launch list,
// the per-user store), one way for both, with one set of messages:
// "Cannot open|read|create|write file "<name>". <reason>".
//
// - A symbolic link is followed only when the user or the owner of its
//   folder made it (a link planted by someone else in a shared folder is
//   refused), and a save writes through links only to a file of whoever made
//   them: nobody can make the program write or create a file that they could
//   not write themselves.
// - The file's folder is found once, by descriptor, one name at a time (the
//   links' targets too), and every later step (the lock, the temporary file,
//   the rename, an in-place rewrite) happens in that folder: swapping a
//   folder on the way for a link while a save runs redirects nothing.
// - Run as root, a save or a read acts from the first folder or link of
//   another user on with that user's rights (file-system identity), so the
//   kernel refuses whatever that user could not do.
// - A save refused because of a link makes and removes nothing, no lock
//   file either.
// - A rewrite holds a lock that other copies of the program take too (a
//   hidden lock file beside the file, so that it exists before the first
//   save; removed when the save ends), reads the file again under it and
//   lets the caller build the new text from what the file holds now, so
//   changes made by another copy are not overwritten.
// - A file that exists but cannot be read completely is never replaced.
// - The new text goes to a temporary file that is renamed over the old one,
//   with the old owner and mode. Where that is impossible and the caller
//   allows it (a folder the user may not write to, an owner that cannot be
//   kept, hard links), the file is rewritten in place, with its space
//   reserved first so that a full disk leaves the old text as it was.
// - Temporary files left by a crashed save are removed at the next save.
#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

struct FileText {
    bool exists = false;
    std::string text;      // the bytes, at most the limit
    bool complete = true;  // false when the file is longer than the limit
};

// Reads at most maxBytes of a regular file (a pipe or device never blocks).
// A missing file is no failure: it reads as empty, and exists is false.
Result<FileText> readFileSafely(const std::filesystem::path& file, std::size_t maxBytes);

struct FileRules {
    std::size_t maxBytes = 0;        // larger files are neither replaced nor written
    mode_t newFileMode = 0600;       // for a file that does not exist yet (the umask applies)
    bool inPlaceWhenNeeded = false;  // see above; false keeps every rewrite atomic
    bool makeFolders = false;        // creates missing folders on the way (mode 0777, the umask applies)
};

// Builds the new text from the file's current text (empty when missing):
// nothing leaves the file as it is, a failure leaves it and is reported.
using FileEdit = std::function<Result<std::optional<std::string>>(const std::string& current, bool exists)>;

// Nothing when the file was saved (or the edit changed nothing).
Result<> updateFileSafely(const std::filesystem::path& file, const FileRules& rules, const FileEdit& edit);

// The message form shared by both files.
std::string fileMessage(const char* verb, const std::filesystem::path& file, const std::string& reason);
// The same as a failure, for a reason the system gave (error) or one of the program's own (0).
Failure fileFailure(const char* verb, const std::filesystem::path& file, int error);
Failure fileFailure(const char* verb, const std::filesystem::path& file, const std::string& reason, int error = 0);

}  // namespace platform
