// SPDX-License-Identifier: GPL-3.0-or-later
// The session's scheduling group shared by several Lentoras, on the real
// /proc files. Each case runs in a child with a session (and so a group) of
// its own and a runtime folder of its own; the group is first set to 3, and
// the members raise it to 7 (no rights needed for values from 0 up).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "group_record.h"
#include "in_child.h"
#include "other_sessions.h"
#include "session_group.h"
#include "temp_dir.h"

namespace {

std::string groupNice(const std::string& pid = "self") {
    std::ifstream file("/proc/" + pid + "/autogroup");
    std::string name, word, nice;
    file >> name >> word >> nice;
    return nice;
}

// Through the library: it waits for the kernel's turn (one change a tenth
// of a second, machine-wide, without CAP_SYS_ADMIN).
bool setOwnGroup(int nice) {
    const int file = open("/proc/self/autogroup", O_RDWR | O_CLOEXEC);
    const bool set = file >= 0 && platform::groups::setNice(file, nice);
    if (file >= 0) close(file);
    return set;
}

// A Lentora of the session: raises the group (or does what it is given)
// when made, lets go when told.
class Member {
public:
    explicit Member(const std::function<bool()>& act = [] { return platform::session::raise(7); }) {
        if (pipe(go_) != 0 || pipe(ready_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            const char raised = act() ? 'r' : 'n';
            char c = 0;
            if (write(ready_[1], &raised, 1) != 1 || read(go_[0], &c, 1) != 1) _exit(1);
            platform::session::restore();
            platform::sessions::restoreOthers();
            _exit(0);
        }
        char raised = 0;
        raised_ = read(ready_[0], &raised, 1) == 1 && raised == 'r';
    }
    bool raised() const { return raised_; }
    pid_t pid() const { return pid_; }
    void end() {
        if (write(go_[1], "x", 1) == 1) waitpid(pid_, nullptr, 0);
    }
    void kill(int signal) {
        ::kill(pid_, signal);
        waitpid(pid_, nullptr, 0);
    }

private:
    int go_[2] = {-1, -1};
    int ready_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool raised_ = false;
};

// Runs scenario in a fresh session whose group starts at 3.
std::string inFreshSession(const std::function<std::string()>& scenario) {
    return inChild([&]() -> std::string {
        if (setsid() < 0) return "no session";
        const TempDir folder("groups");  // throwing here ends the child: "[child failed]"
        setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
        if (!setOwnGroup(3)) return "no group";
        return scenario();
    });
}

bool groupedBySession() { return std::ifstream("/proc/self/autogroup").good() && platform::session::grouped(); }

// The fault: the first Lentora to end put the group back while the second
// still ran, and the second then left it raised.
TEST(SessionGroup, RaisedWhileAnyLentoraNeedsItThenBackAsFoundBeforeTheFirst) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    const std::string trace = inFreshSession([] {
        Member first;
        Member second;
        if (!first.raised() || !second.raised()) return std::string("not raised");
        std::string trace = groupNice();
        first.end();
        trace += " " + groupNice();
        second.end();
        return trace + " " + groupNice();
    });
    EXPECT_EQ(trace, "7 7 3");
}

// The fault: after a SIGKILL the group stayed raised for good. A killed
// Lentora's hold ends with it, so the others still put the group back; when
// it was the last, the next start does.
TEST(SessionGroup, KilledLentoraIsPutRightByTheOthersOrTheNextStart) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    const std::string trace = inFreshSession([] {
        Member killed;
        Member survivor;
        killed.kill(SIGKILL);
        std::string trace = groupNice();
        survivor.end();
        trace += " " + groupNice();
        Member alone;
        alone.kill(SIGKILL);
        trace += " " + groupNice();
        platform::groups::repairLeftovers();
        return trace + " " + groupNice();
    });
    EXPECT_EQ(trace, "7 3 7 3");
}

// A link planted where the record's folder goes is not followed: the group
// is still raised and put back, with no record made through the link.
TEST(SessionGroup, RecordFolderReachedThroughALinkIsRefused) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    const std::string trace = inFreshSession([] {
        const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
        std::filesystem::create_directory(runtime + "/elsewhere");
        std::filesystem::create_directory_symlink(runtime + "/elsewhere", runtime + "/lentora");
        Member member;
        std::string trace = groupNice();
        member.end();
        return trace + " " + groupNice() + " " + std::to_string(std::filesystem::is_empty(runtime + "/elsewhere"));
    });
    EXPECT_EQ(trace, "7 3 1");
}

// Lentora's other sessions: lowered to 19 while asked, back as found
// whichever way Lentora ends; its own session is left as it is.
TEST(OtherSessions, LoweredWhileAskedAndPutBackOnEveryWayOut) {
    if (!groupedBySession() || !platform::sessions::autogroupsDecide())
        GTEST_SKIP() << "the scheduler does not share the processor by session here";
    // As root the lowering runs as a user of its own (uid 65533, which no
    // other program here uses), so no other program's session is touched;
    // as anybody else it would lower that user's own sessions.
    if (geteuid() != 0) GTEST_SKIP() << "runs as root (and then as uid 65533)";
    const std::string trace = inChild(
        [] {
            prctl(PR_SET_DUMPABLE, 1);  // the change of user made /proc/self root's
            return inFreshSession([] {
                Member other([] { return setsid() > 0 && setOwnGroup(2); });
                const std::string pid = std::to_string(other.pid());
                const auto lowerer = [] { return platform::sessions::lowerOthers(); };
                std::string trace;
                for (const int wayOut : {0, SIGTERM, SIGKILL}) {
                    Member lentora(lowerer);
                    trace += groupNice(pid) + "/" + groupNice() + " ";
                    wayOut == 0 ? lentora.end() : lentora.kill(wayOut);
                    if (wayOut == SIGKILL) platform::groups::repairLeftovers();
                    trace += groupNice(pid) + " ";
                }
                other.kill(SIGKILL);
                return trace;
            });
        },
        65533);
    EXPECT_EQ(trace, "19/3 2 19/3 2 19/3 2 ");
}

}  // namespace
