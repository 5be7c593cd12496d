// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/standing.h"

namespace engine {

Reach reachOf(const Standing& s) {
    // Real time beats every ordinary program, in any group or session.
    if (s.realtime) return Reach::Everything;
    if (s.schedulesByGroup) return s.weightObtained ? Reach::OwnPrograms : Reach::Launched;
    if (s.holdsOtherSessions) return Reach::Everything;
    return s.lowersOtherSessions ? Reach::OwnPrograms : Reach::Launched;
}

namespace {
// The kernel takes one session's change a tenth of a second, machine-wide,
// and another program may be taking those turns.
const char* const kSessionsWaiting = "some of your other sessions are not lowered yet";

std::string reachNote(const Standing& s) {
    switch (reachOf(s)) {
    case Reach::Everything:
        // Real time through the desktop's service is worth saying: it is what
        // an ordinary user gets, and the service may refuse it on another day.
        return s.realtime && s.grantor == "RealtimeKit" ? "Real-time priority granted by RealtimeKit" : "";
    case Reach::OwnPrograms:
        return "Lentora may not raise its priority: other users' programs are slowed down less (see Help)";
    case Reach::Launched:
        break;
    }
    if (s.realtimeRefusedByGroup)
        return "Real time is refused in Lentora's control group: programs it did not start are slowed down less "
               "(see Help)";
    return "Lentora may not raise its priority: programs it did not start are slowed down less (see Help)";
}
}  // namespace

std::string rightsNote(const Standing& s) {
    const std::string note = reachNote(s);
    if (!s.sessionsWaiting) return note;
    return note.empty() ? std::string("Lentora: ") + kSessionsWaiting : note + "; " + kSessionsWaiting;
}

std::string rightsSummary(const Standing& s) {
    if (s.realtime) return "Real time (" + s.grantor + ")";
    switch (reachOf(s)) {
    case Reach::Everything:
        return "High priority";
    case Reach::OwnPrograms:
        return "Your programs";
    case Reach::Launched:
        break;
    }
    return "Limited";
}

namespace {

std::string howItHolds(const Standing& s) {
    if (s.realtime) {
        std::string text = "Real-time priority, granted by " + s.grantor + ".";
        // The service answers anew at every start and may refuse another day.
        if (s.grantor == "RealtimeKit") text += " RealtimeKit grants it at each start; it may refuse.";
        if (s.lowersOtherSessions)
            text +=
                " Your other sessions are lowered while the slow-down runs: from 95 % the kernel's real-time "
                "budget is spent, and what holds the rest counts only in Lentora's own session.";
        return text;
    }
    if (s.realtimeRefusedByGroup)
        return "The kernel refuses real time in Lentora's control group, which has no real-time budget.";
    if (s.schedulesByGroup && s.weightObtained)
        return "This desktop shares the processors between applications' control groups: Lentora's own scope "
               "weighs 100 times more than the others while the slow-down runs.";
    if (s.schedulesByGroup)
        return "This desktop shares the processors between applications' control groups, and Lentora's could not "
               "be given more weight" +
               (s.weightRefusal.empty() ? std::string(".") : " (" + s.weightRefusal + ").");
    if (s.holdsOtherSessions) return "Raised priority (nice values); real time is not in use.";
    if (s.lowersOtherSessions)
        return "Lentora may not raise its priority; it lowers your other sessions to the lowest priority while the "
               "slow-down runs and puts them back when it stops.";
    return "Lentora may not raise its priority.";
}

}  // namespace

std::string rightsDetails(const Standing& s) {
    std::string reach;
    switch (reachOf(s)) {
    case Reach::Everything:
        reach = "The slow-down holds against every program: those it starts, your others and other users'.";
        break;
    case Reach::OwnPrograms:
        reach =
            "The slow-down holds against the programs it starts and your other programs; other users' "
            "programs are slowed down less.";
        break;
    case Reach::Launched:
        reach =
            "The slow-down holds against the programs it starts; programs it did not start are slowed down "
            "less.";
        break;
    }
    std::string text = reach + "\n" + howItHolds(s);
    if (s.sessionsWaiting)
        text += " Some of your other sessions are not lowered yet: the kernel takes one a tenth of a second.";
    if (reachOf(s) != Reach::Everything) text += "\nHelp, topic \"Rights\", says how to give Lentora the rights.";
    return text;
}

}  // namespace engine
