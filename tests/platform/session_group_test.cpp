// SPDX-License-Identifier: GPL-3.0-or-later
// The session's scheduling group shared by several Lentoras, on the real
// /proc files. Each case runs in a child with a session (and so a group) of
// its own and a runtime folder of its own; the group is first set to 3, and
// the members raise it to 7 (no rights needed for values from 0 up).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

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

// The worker did what was last asked of it (bounded: the kernel's turns
// are shared with everything else on the machine).
bool settled() {
    for (int i = 0; i < 600; ++i) {
        const platform::sessions::Progress now = platform::sessions::progress();
        if (now.settled && now.waiting == 0) return true;
        usleep(50'000);
    }
    return false;
}
const int kWaysOut[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
// The engine's rule, which these cases give the facts for.
bool whollyTheUsers(const platform::SessionFacts& group) {
    return group.processes > 0 && group.usersOwn == group.processes && group.leaderSeen && group.nice >= 0;
}
const auto lowerer = [] {
    platform::session::setWaysOut(kWaysOut);
    return platform::sessions::lowerOthers(19, whollyTheUsers) && settled();
};

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
            _exit(settled() ? 0 : 1);
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
// it was the last, the next start does. A damaged record (a value the kernel
// cannot take) is none: put back, it would have left the group raised.
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
        trace += " " + groupNice();
        std::string group, boot;
        std::ifstream("/proc/self/autogroup") >> group;  // "/autogroup-<id>", the record's name
        std::ifstream("/proc/sys/kernel/random/boot_id") >> boot;
        std::ofstream(std::getenv("XDG_RUNTIME_DIR") + ("/lentora" + group)) << boot << " -50 3\n";
        Member().end();
        return trace + " " + groupNice();
    });
    EXPECT_EQ(trace, "7 3 7 3 3");
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

// The fault: a value somebody else set while Lentora had the group raised
// was overwritten with the value found, at the end and at the repair.
TEST(SessionGroup, AValueSomebodyElseSetMeanwhileStaysTheirs) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    const std::string trace = inFreshSession([] {
        std::string trace;
        for (const bool killed : {false, true}) {
            Member member;
            setOwnGroup(5);
            killed ? member.kill(SIGKILL) : member.end();
            platform::groups::repairLeftovers();
            trace += groupNice() + " ";
            setOwnGroup(3);
        }
        return trace;
    });
    EXPECT_EQ(trace, "5 5 ");
}

// The fault: a held lock of the records' folder held every start for as
// long as it was held (only the same user can hold it).
TEST(SessionGroup, AHeldRecordsLockIsWaitedForOnlySeconds) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    const std::string trace = inFreshSession([] {
        const std::string folder = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/lentora";
        mkdir(folder.c_str(), 0700);
        const int lock = open((folder + "/groups.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || flock(lock, LOCK_EX) != 0) return std::string("no lock");
        const auto began = std::chrono::steady_clock::now();
        Member member([] {
            alarm(20);
            return platform::session::raise(7);
        });
        const bool bounded = std::chrono::steady_clock::now() - began < std::chrono::seconds(10);
        member.end();
        return std::string(member.raised() ? "raised " : "not raised ") + groupNice() + (bounded ? " bounded" : "");
    });
    EXPECT_EQ(trace, "not raised 3 bounded");
}

// The fault: another user who made /tmp/lentora-UID first, as a folder or
// a link, left Lentora without records (without XDG_RUNTIME_DIR).
TEST(SessionGroup, ASquattedRecordsFolderGivesWayToOneInTheUsersCache) {
    if (!groupedBySession()) GTEST_SKIP() << "the kernel does not group by session";
    if (geteuid() != 0) GTEST_SKIP() << "runs as root (squats for uid 65533)";
    const std::string squatted = "/tmp/lentora-65533";
    std::string trace;
    for (const bool link : {false, true}) {
        std::filesystem::remove_all(squatted);
        if (link)
            std::filesystem::create_directory_symlink("/tmp", squatted);
        else
            std::filesystem::create_directory(squatted);
        trace += inChild(
            [] {
                prctl(PR_SET_DUMPABLE, 1);
                return inFreshSession([] {
                    const std::string cache = std::getenv("XDG_RUNTIME_DIR");  // a folder of the user's own
                    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
                    unsetenv("XDG_RUNTIME_DIR");
                    Member member;
                    std::string records;
                    for (const auto& entry : std::filesystem::recursive_directory_iterator(cache))
                        if (entry.path().filename().string().rfind("autogroup-", 0) == 0) records += "record ";
                    member.end();
                    return records + groupNice() + " ";
                });
            },
            65533);
    }
    std::filesystem::remove_all(squatted);
    EXPECT_EQ(trace, "record 3 record 3 ");
}

// A session of another user's holding processes of the user's, as after
// "sudo -u user cmd &" from root's terminal, and a process of the user's
// that lowers groups: the user's own session goes to 19, root's stays.
std::string lowerBesideARootSession(const std::function<std::string(const std::string& root)>& lowering) {
    return inChild([&] {
        if (setsid() < 0 || !setOwnGroup(2)) return std::string("no root session");
        const pid_t held = fork();
        if (held == 0) {
            if (setgid(65533) == 0 && setuid(65533) == 0) prctl(PR_SET_DUMPABLE, 1), pause();
            _exit(0);
        }
        const std::string root = std::to_string(getpid());
        const std::string trace = inChild(
            [&] {
                prctl(PR_SET_DUMPABLE, 1);  // the change of user made /proc/self root's
                return inFreshSession([&] { return lowering(root); });
            },
            65533);
        kill(held, SIGKILL);
        waitpid(held, nullptr, 0);
        return trace;
    });
}

// The fault: a group was lowered when some process in it was the user's,
// whoever's session it was.
TEST(OtherSessions, ASessionOfAnotherUsersIsLeftAloneThoughItHoldsTheUsers) {  // label: forks
    if (!groupedBySession() || !platform::sessions::autogroupsDecide())
        GTEST_SKIP() << "the scheduler does not share the processor by session here";
    if (geteuid() != 0) GTEST_SKIP() << "runs as root (and then as uid 65533)";
    const std::string trace = lowerBesideARootSession([](const std::string& root) {
        Member own([] { return setsid() > 0 && setOwnGroup(4); });
        Member lentora(lowerer);
        const std::string trace = groupNice(root) + " " + groupNice(std::to_string(own.pid()));
        lentora.end();
        own.kill(SIGKILL);
        return trace;
    });
    EXPECT_EQ(trace, "2 19");
}

// The fault: every session cost the window's thread a tenth of a second at
// Start and at Stop (140 sessions: 13 s each way), and far more while
// another user's program took the kernel's turns. Asking now returns at
// once, and the worker gets every group lowered and back in the end.
TEST(OtherSessions, AskingReturnsAtOnceWhileAnotherUserTakesTheKernelsTurns) {  // label: forks
    if (!groupedBySession() || !platform::sessions::autogroupsDecide())
        GTEST_SKIP() << "the scheduler does not share the processor by session here";
    if (geteuid() != 0) GTEST_SKIP() << "runs as root (and then as uids 65532 and 65533)";
    const pid_t hog = fork();
    if (hog == 0) {  // changes its own group as often as the kernel lets it
        if (setgid(65532) != 0 || setuid(65532) != 0 || setsid() < 0 || prctl(PR_SET_DUMPABLE, 1) != 0) _exit(1);
        const int group = open("/proc/self/autogroup", O_WRONLY);
        usleep(1'000'000);  // the sessions are set up first: their own changes need turns too
        for (int i = 0; i < 2000 && group >= 0; ++i) (void)!write(group, i % 2 ? "1" : "2", 1), usleep(10'000);
        _exit(0);
    }
    const std::string trace = inChild(
        [] {
            prctl(PR_SET_DUMPABLE, 1);
            return inFreshSession([] {
                std::vector<std::unique_ptr<Member>> others;
                for (int i = 0; i < 6; ++i)
                    others.push_back(std::make_unique<Member>([] { return setsid() > 0 && setOwnGroup(2); }));
                // The hog may have kept a member from its own change: what
                // goes back is what each had.
                const auto values = [&] {
                    std::string text;
                    for (const auto& other : others) text += " " + groupNice(std::to_string(other->pid()));
                    return text;
                };
                const std::string found = values();
                std::string trace;
                for (const bool lower : {true, false}) {
                    const auto began = std::chrono::steady_clock::now();
                    lower ? (void)platform::sessions::lowerOthers(19, whollyTheUsers)
                          : platform::sessions::restoreOthers();
                    trace +=
                        std::chrono::steady_clock::now() - began < std::chrono::milliseconds(300) ? "prompt" : "slow";
                    if (!settled()) trace += " unsettled";
                    const std::string now = values();
                    trace += (!lower && now == found ? " as found" : now) + ", ";
                }
                for (const auto& other : others) other->kill(SIGKILL);
                return trace;
            });
        },
        65533);
    kill(hog, SIGKILL);
    waitpid(hog, nullptr, 0);
    EXPECT_EQ(trace, "prompt 19 19 19 19 19 19, prompt as found, ");
}

// Lentora's other sessions: lowered to 19 while asked, back as found
// whichever way Lentora ends; its own session is left as it is, and so is
// one of the user's that root raised (the fault: it was lowered too).
TEST(OtherSessions, LoweredWhileAskedAndPutBackOnEveryWayOut) {  // label: forks
    if (!groupedBySession() || !platform::sessions::autogroupsDecide())
        GTEST_SKIP() << "the scheduler does not share the processor by session here";
    // As root the lowering runs as a user of its own (uid 65533, which no
    // other program here uses), so no other program's session is touched;
    // as anybody else it would lower that user's own sessions.
    if (geteuid() != 0) GTEST_SKIP() << "runs as root (and then as uid 65533)";
    Member raised([] {  // raised by root, then the user's
        return setsid() > 0 && setOwnGroup(-5) && setgid(65533) == 0 && setuid(65533) == 0 &&
               prctl(PR_SET_DUMPABLE, 1) == 0;
    });
    const std::string trace = inChild(
        [&] {
            prctl(PR_SET_DUMPABLE, 1);  // the change of user made /proc/self root's
            return inFreshSession([&] {
                Member other([] { return setsid() > 0 && setOwnGroup(2); });
                const std::string pid = std::to_string(other.pid());
                std::string trace;
                for (const int wayOut : {0, SIGTERM, SIGKILL}) {
                    Member lentora(lowerer);
                    trace += groupNice(pid) + "/" + groupNice() + "/" + groupNice(std::to_string(raised.pid())) + " ";
                    wayOut == 0 ? lentora.end() : lentora.kill(wayOut);
                    if (wayOut == SIGKILL) platform::groups::repairLeftovers();
                    trace += groupNice(pid) + " ";
                }
                other.kill(SIGKILL);
                return trace;
            });
        },
        65533);
    raised.kill(SIGKILL);
    EXPECT_EQ(trace, "19/3/-5 2 19/3/-5 2 19/3/-5 2 ");
}

}  // namespace
