// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Programs the tests start: the small test child and Lentora itself.
#include <cstdlib>
#include <string>

// The environment may point elsewhere (e.g. an installed copy).
inline std::string testChildPath() {
    const char* env = std::getenv("LENTORA_TEST_CHILD");
    return env && *env ? env : LENTORA_TEST_CHILD_PATH;
}

inline std::string lentoraBinaryPath() {
    const char* env = std::getenv("LENTORA_BINARY");
    return env && *env ? env : LENTORA_BINARY_PATH;
}
