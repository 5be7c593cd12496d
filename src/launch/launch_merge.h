// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two copies of the program may edit the same launch list file. A save
// applies this copy's edits to what the file holds now instead of writing
// its whole list over the other copy's changes.

#include <vector>

#include "launch/launch_entry.h"

namespace launch {

// base: the list as last read or written; mine: the list now, where
// origins[i] is the index in base that entry i came from (-1: added since);
// theirs: what the file holds now. The result is theirs with the entries
// this copy removed taken out, those it changed replaced, and those it
// added appended. An entry this copy changed that the other copy removed or
// changed too is appended as well, so neither change is lost.
std::vector<LaunchEntry> mergeLaunchEntries(const std::vector<LaunchEntry>& base, const std::vector<LaunchEntry>& mine,
                                            const std::vector<int>& origins, const std::vector<LaunchEntry>& theirs);

}  // namespace launch
