// SPDX-License-Identifier: GPL-3.0-or-later
// What the slow-down says it holds against, for each kind of standing.
#include <gtest/gtest.h>

#include "engine/standing.h"

using namespace engine;

TEST(Standing, ReachAndWordsFollowWhatWasGrantedAndHowTheKernelShares) {
    Standing realtime{.realtime = true, .grantor = "RealtimeKit", .holdsOtherSessions = true};
    Standing realtimeLowering = realtime;
    realtimeLowering.lowersOtherSessions = true;
    Standing nice{.holdsOtherSessions = true};
    Standing lowering{.lowersOtherSessions = true};
    Standing loweringYet = lowering;
    loweringYet.sessionsWaiting = true;  // the kernel takes one a tenth of a second
    Standing scope{.schedulesByGroup = true, .weightObtained = true};
    // Nice values do not count across a desktop's groups; only the scope's weight does.
    Standing niceInGroups{.holdsOtherSessions = true, .schedulesByGroup = true, .weightRefusal = "no bus"};
    Standing refused{.realtimeRefusedByGroup = true};
    struct Case {
        const char* name;
        Standing standing;
        Reach reach;
        const char* summary;
        const char* inNote;  // "" : no note
        const char* inDetails;
    } cases[] = {
        {"real time", realtime, Reach::Everything, "Real time (RealtimeKit)", "RealtimeKit", "may refuse"},
        {"real time, others lowered", realtimeLowering, Reach::Everything, "Real time (RealtimeKit)", "RealtimeKit",
         "sessions are lowered"},
        {"nice", nice, Reach::Everything, "High priority", "", "Raised priority"},
        {"lowering", lowering, Reach::OwnPrograms, "Your programs", "other users", "lowers your other sessions"},
        {"lowering, not all yet", loweringYet, Reach::OwnPrograms, "Your programs", "not lowered yet",
         "not lowered yet"},
        {"scope", scope, Reach::OwnPrograms, "Your programs", "other users", "weighs 100 times more"},
        {"nice in groups", niceInGroups, Reach::Launched, "Limited", "did not start", "(no bus)"},
        {"refused by group", refused, Reach::Launched, "Limited", "control group", "no real-time budget"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reachOf(c.standing), c.reach);
        EXPECT_EQ(rightsSummary(c.standing), c.summary);
        const std::string note = rightsNote(c.standing);
        EXPECT_EQ(note.empty(), *c.inNote == 0) << note;
        EXPECT_NE(note.find(c.inNote), std::string::npos) << note;
        EXPECT_NE(rightsDetails(c.standing).find(c.inDetails), std::string::npos) << rightsDetails(c.standing);
    }
}
