// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's other sessions, lowered while the slow-down runs. Where the
// scheduler shares each processor between session groups first, and Lentora
// may not raise its own group, burners at nice 0 get only their group's
// share against a busy program of another session. Any owner may lower a
// group (nice 0..19) through /proc/PID/autogroup of a process of its own, and
// a group at nice 19 weighs 1/70 of one at 0 against Lentora's.
//
// Without CAP_SYS_ADMIN the kernel takes one such change a tenth of a
// second, machine-wide (140 sessions took 13 s each way on the window's
// thread), and anybody may take those turns. So a worker thread does the
// changes, within the kernel's rate, and retries in the background where the
// turns are taken; asking returns at once.
#include "platform/thread.h"

namespace platform::sessions {

// Autogroups decide only for a process in the root cpu control group (on a
// desktop that schedules by control group, they do nothing).
bool autogroupsDecide();

// Asks for every session group but Lentora's own that takes judges the
// user's to go to nice, keeping their values in records (group_record.h).
// The worker judges each group when it finds it and again right before its
// change. Does nothing where autogroups don't decide; true when the worker
// was asked.
bool lowerOthers(int nice, SessionRule takes);
// Asks for every group to go back (the last Lentora holding each does).
void restoreOthers();

struct Progress {
    bool settled = true;  // the worker did what was last asked, as far as it can now
    int lowered = 0;      // groups this Lentora holds where asked
    int waiting = 0;      // groups to lower or put back that wait for their turn
};
Progress progress();

// At exit and on the ways out (session::setWaysOut): the worker leaves the
// groups alone, and the calling thread puts them back within a bounded time;
// what it could not put back by then, a child of Lentora's puts back after
// Lentora ended (or, failing that, the next start).
void restoreOthersAtExit();
// The same, for a signal handler.
void restoreOthersInHandler();

}  // namespace platform::sessions
