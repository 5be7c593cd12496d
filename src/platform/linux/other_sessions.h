// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's other sessions, lowered while the slow-down runs. Where the
// scheduler shares each processor between session groups first, and Lentora
// may not raise its own group, burners at nice 0 get only their group's
// share against a busy program of another session. Any owner may lower a
// group (nice 0..19) through /proc/PID/autogroup of a process of its own, and
// a group at nice 19 weighs 1/70 of one at 0 against Lentora's.
namespace platform::sessions {

// Autogroups decide only for a process in the root cpu control group (on a
// desktop that schedules by control group, they do nothing).
bool autogroupsDecide();

// Lowers to nice 19 every session group of the user's processes but
// Lentora's own and those somebody raised (negative nice), keeping their
// values in records (group_record.h). Does nothing where autogroups don't
// decide. True when it is lowered now (also with nothing to lower).
bool lowerOthers();
// Puts every group back (the last Lentora holding each does), at once and
// at exit and on SIGTERM, SIGINT, SIGHUP and SIGQUIT.
void restoreOthers();
// The same, for a signal handler.
void restoreOthersInHandler();

}  // namespace platform::sessions
