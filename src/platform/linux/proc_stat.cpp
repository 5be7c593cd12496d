// SPDX-License-Identifier: GPL-3.0-or-later
#include "proc_stat.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>

namespace platform::proc {

bool readSmall(const std::string& path, char* buf, std::size_t size) {
    return readSmallAt(AT_FDCWD, path.c_str(), buf, size);
}

bool readSmallAt(int dir, const char* name, char* buf, std::size_t size) {
    const int fd = ::openat(dir, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t n = ::read(fd, buf, size - 1);
    ::close(fd);
    if (n <= 0) return false;
    buf[n] = '\0';
    return true;
}

bool statFields(const char* stat, int first, int count, long long* out) {
    const char* close = std::strrchr(stat, ')');
    const char* p = close && close[1] ? close + 2 : nullptr;
    for (int field = 3; p && *p; ++field) {
        if (field >= first) {
            char* end = nullptr;
            out[field - first] = std::strtoll(p, &end, 10);
            if (field - first + 1 == count) return true;
        }
        p = std::strchr(p, ' ');
        if (p) ++p;
    }
    return false;
}

}  // namespace platform::proc
