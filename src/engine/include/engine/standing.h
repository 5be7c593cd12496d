// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the slow-down holds against, from what the rights granted and how the
// kernel shares the processors, and how it is said to the user: the note on
// the start-up line, the status bar's box and its tooltip.
#include <string>

namespace engine {

// Programs the burners take the processors from, widest last.
enum class Reach {
    Launched,     // only programs Lentora starts
    OwnPrograms,  // the user's own programs too, not other users'
    Everything,   // every program of the machine
};

struct Standing {
    bool realtime = false;                // the burners run under a real-time policy
    std::string grantor{};                // who granted it: root, capability, rtprio limit, RealtimeKit
    bool holdsOtherSessions = false;      // real time, or nice values that count across sessions
    bool schedulesByGroup = false;        // the desktop's cpu groups decide, nice values stay inside them
    bool weightObtained = false;          // Lentora's own scope weighs more while it runs
    std::string weightRefusal{};          // why not, where the desktop schedules by group
    bool lowersOtherSessions = false;     // no rights: the user's other sessions go to nice 19 while it runs
    bool realtimeRefusedByGroup = false;  // real time refused in a cpu group without a real-time budget
    bool sessionsWaiting = false;         // some of the sessions to lower are not lowered yet
};

Reach reachOf(const Standing& standing);
// Said on the start-up line; empty where nothing needs saying.
std::string rightsNote(const Standing& standing);
// The status bar's box: a few words.
std::string rightsSummary(const Standing& standing);
// The box's tooltip: what it holds against, why, and what would widen it.
std::string rightsDetails(const Standing& standing);

}  // namespace engine
