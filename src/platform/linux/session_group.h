// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The session's scheduling group (autogroup). The scheduler first shares
// each processor between the groups of the sessions that want it, then
// inside a group by nice values, so a burner holds against programs of other
// sessions only when its group is raised as well.
#include <span>

namespace platform::session {

// Raises the group to nice. The first raise remembers the value found (the
// one before the first Lentora of the session raised it); the last Lentora
// to put it back, by restore(), at exit or on a way out (setWaysOut), puts
// that value back.
// False when the system refused (a program with file capabilities may not
// open its own autogroup file, and must not make itself dumpable to get it).
bool raise(int nice);
// Lets go of the group: the last Lentora puts it back as it was found.
// Does nothing when it is not raised.
void restore();
bool raised();
// The signals on which every group Lentora changed goes back, as the engine
// asks (at most kMostWaysOut); set before the first raise or lowering.
inline constexpr int kMostWaysOut = 8;
void setWaysOut(std::span<const int> asked);
// Those signals, as set.
std::span<const int> waysOut();
// At exit and on the ways out, every group Lentora changed (its own, the
// other sessions') goes back. Arranged once.
void arrangeWaysOut();
// Whether the scheduler groups by session at all.
bool grouped();

}  // namespace platform::session
