// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records of the scheduling groups (autogroups) Lentora changed, in a folder
// of the user's own: $XDG_RUNTIME_DIR/lentora, else /tmp/lentora-UID (0700,
// the user's, never reached through a link). Every Lentora that changed a
// group holds its record (a shared lock) until it lets go; the last one to
// let go puts the group back to the value found before the first, and a
// record nobody holds is what a killed Lentora left: the next start repairs
// it. One lock of the folder's orders the Lentoras that hold and let go.
#include <cstddef>

namespace platform::groups {

// One group changed by this process. Kept in static storage, so that letting
// go needs no allocation or path lookup (it runs in signal handlers).
struct Held {
    int groupFile = -1;   // the group's autogroup file (of a process in it)
    int recordFile = -1;  // the record, share-locked while held; -1: no record kept
    long id = 0;          // the kernel's number of the group
    char recordName[32] = {};
    char foundText[16] = {};
    std::size_t foundLength = 0;
};

// The group's file and what it says: "/autogroup-13 nice -10" -> 13, -10.
bool readGroup(int groupFile, long& id, int& nice);
// Sets the group's nice value; true when the group reads it back.
bool setNice(int groupFile, int nice);

// Takes hold of the group behind groupFile (kept open by held from now on):
// the value found is the record's when another Lentora holds it or a killed
// one left it (which is put back first), else the group's own. Without a
// usable folder held keeps the group's own value and no record.
bool hold(Held& held, int groupFile);
// Lets go; the last holder puts the value found back and removes the record
// (kept for the next start's repair when the group could not be written).
// Safe in a signal handler when told it runs in one.
void letGo(Held& held, bool inSignalHandler = false);
// Puts back every group whose record nobody holds, and removes the record.
void repairLeftovers();

}  // namespace platform::groups
