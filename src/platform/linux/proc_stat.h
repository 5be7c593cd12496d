// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small /proc files, read without streams: the run meter reads some every
// second while the burners leave it a few percent of a processor.
#include <cstddef>
#include <string>

namespace platform::proc {

// The whole of a small file into buf, NUL-terminated; false when it cannot be
// read (the process or thread ended meanwhile).
bool readSmall(const std::string& path, char* buf, std::size_t size);
// The same, of name in the folder open as dir: a process's folder opened
// once keeps every read of that one process, its number reused or not.
bool readSmallAt(int dir, const char* name, char* buf, std::size_t size);

// count fields of a /proc/PID/stat text from field first on, counted from 1 as
// proc(5) does (3: state, 4: ppid, 6: session, 14: utime, 15: stime). The
// command name before them may hold blanks and parentheses: fields are
// counted from its last ')'. False when the text ends before them.
bool statFields(const char* stat, int first, int count, long long* out);

}  // namespace platform::proc
