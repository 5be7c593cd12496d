#pragma once
// The session's scheduling group (autogroup). The scheduler first shares
// each processor between the groups of the sessions that want it, then
// inside a group by nice values, so a burner holds against programs of other
// sessions only when its group is raised as well.
namespace platform::session {

// Raises the group to nice. The first raise remembers the value found; it is
// put back by restore(), at exit and on SIGTERM, SIGINT, SIGHUP and SIGQUIT.
// False when the system refused (a program with file capabilities may not
// open its own autogroup file, and must not make itself dumpable to get it).
bool raise(int nice);
// Puts the group back as it was found; does nothing when it is not raised.
// Safe in a signal handler.
void restore();
bool raised();
// Whether the scheduler groups by session at all.
bool grouped();

}  // namespace platform::session
