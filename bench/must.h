// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A step a benchmark cannot go on without: figures taken after it failed
// would be the machine's own, so the run ends with the reason.
#include <cstdio>
#include <cstdlib>

#include "platform/failure.h"

inline void must(const platform::Result<>& done) {
    if (done) return;
    std::fprintf(stderr, "cannot go on: %s\n", done.failure()->reason.c_str());
    std::exit(1);
}
