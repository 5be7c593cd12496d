// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records of the scheduling groups (autogroups) Lentora changed, in a folder
// of the user's own: $XDG_RUNTIME_DIR/lentora, else /tmp/lentora-UID, else
// (when either is missing, a link, someone else's or open to others)
// $XDG_CACHE_HOME/lentora/sessions-HOST (0700, the user's, never reached
// through a link). Every Lentora that changed a group holds its record (a
// shared lock) until it lets go; the last one to let go puts the group back
// to the value found before the first, and a record nobody holds is what a
// killed Lentora left: the next start repairs it. One lock of the folder's
// orders the Lentoras that hold and let go; nobody waits for it for more
// than a few seconds.
//
// A group goes back only while it still has the value Lentora wrote: a
// value somebody else set meanwhile (root raising a session) is theirs.
#include <atomic>
#include <cstddef>

namespace platform::groups {

inline constexpr int kNotWritten = 100;  // outside -20..19

// One group changed by this process. Kept in static storage, so that letting
// go needs no allocation or path lookup (it runs in signal handlers).
struct Held {
    int groupFile = -1;         // the group's autogroup file (of a process in it)
    int recordFile = -1;        // the record, share-locked while held; -1: no record kept
    long id = 0;                // the kernel's number of the group
    int found = 0;              // the value to put back
    int written = kNotWritten;  // what this Lentora wrote last
    char recordName[32] = {};
};

// How long a change may wait for the kernel's turn: until the monotonic
// clock passes untilNs, or abandon is set (a way out is under way).
struct Patience {
    long long untilNs = 0;
    const std::atomic<bool>* abandon = nullptr;
};
long long nowNs();
// From now on, for the given milliseconds.
Patience patienceOf(int milliseconds, const std::atomic<bool>* abandon = nullptr);

// The group's file and what it says: "/autogroup-13 nice -10" -> 13, -10.
// Safe in a signal handler.
bool readGroup(int groupFile, long& id, int& nice);
// Sets the group's nice value; true when the group reads it back. Waits up
// to about a second for the kernel's turn.
bool setNice(int groupFile, int nice);

// Takes hold of the group behind groupFile (kept open by held from now on):
// the value found is the record's when another Lentora holds it or a killed
// one left it (which is put back first), else the group's own. Without a
// usable folder held keeps the group's own value and no record. False (and
// groupFile not taken) when the folder's lock stayed taken for seconds.
bool hold(Held& held, int groupFile);
// Writes nice to a held group within patience, and notes it in the record.
bool change(Held& held, int nice, const Patience& patience);
// Lets go; the last holder puts the value found back, if the group still has
// the value Lentora wrote, and removes the record. Where the kernel's turn
// did not come within patience: with keepTrying the group stays held and
// false is returned (ask again later); without, the record is kept for the
// next start's repair. Safe in a signal handler when told it runs in one.
bool letGo(Held& held, const Patience& patience, bool inSignalHandler = false, bool keepTrying = false);
// Closes this process's hold without putting anything back: a child that
// shares the record's lock finishes it, or else the next start's repair.
void forget(Held& held);
// Puts back every group whose record nobody holds, and removes the record.
void repairLeftovers();

}  // namespace platform::groups
