// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A thread that is created suspended and can be suspended and resumed from
// other threads at any point of its work, with a suspend count as Windows
// keeps it. Suspension is done by a signal whose handler waits until the
// thread is resumed, so the thread's own code polls nothing.
#include <sys/types.h>
#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/failure.h"
#include "platform/rights.h"

namespace platform {

// Normal: the process's level. AboveNormal: one step above it.
// TimeCritical: the highest level the system has.
enum class ThreadPriority { Normal, AboveNormal, TimeCritical };

class SuspendableThread {
public:
    // Created suspended (count 1); the system thread starts at the first
    // resume that brings the count to 0, so Execute never runs before the
    // derived object is complete.
    SuspendableThread();
    // Sets the terminate request, resumes and joins. A derived class whose
    // Execute uses its own members should call terminateAndWait() in its
    // own destructor, before those members go.
    virtual ~SuspendableThread();
    SuspendableThread(const SuspendableThread&) = delete;
    SuspendableThread& operator=(const SuspendableThread&) = delete;

    // Decrements the suspend count; at 0 the thread (first) runs.
    // Resuming a thread that is not suspended does nothing. A failure when
    // the request could not reach the thread, or the system could not create
    // it: it stays suspended, count unchanged.
    Result<> resume();
    // Increments the suspend count; the first suspend stops the thread within
    // about a millisecond and returns once the thread acknowledged it (or
    // after 100 ms without an acknowledgement; the thread then stops as soon
    // as the system delivers the request). A thread may suspend itself.
    // A failure when the request could not reach the thread: it goes on
    // running, count unchanged.
    Result<> suspend();
    int suspendCount() const;
    // True while the thread is stopped in its suspension (or not started yet).
    bool isStopped() const;
    bool finished() const;

    // Applied at once when running, otherwise when the thread starts.
    // Returns false when the system refused (the thread still runs); short
    // of rights it takes the best level the user may set.
    bool setPriority(ThreadPriority priority);
    ThreadPriority priority() const;
    // The best ordinary priority there is for this thread, for good: nice
    // -20 where the rights allow it, else the real-time step's high priority
    // (RealtimeKit's). besideRealtime: where real time runs in a cpu group
    // above Lentora's, the thread goes there too. Applied at once when
    // running, otherwise at the start; later setPriority calls are then
    // ignored.
    void setHighest(bool besideRealtime);
    // The step of the rights ladder through which the thread goes under the
    // real-time policy, or gets the step's high priority (none: real time is
    // not granted). Used from the next setRealtime or setHighest on.
    void useRealtimeStep(RightsStep* step);
    // Runs the thread under the real-time policy at priority (0: back to the
    // normal policy at its priority level), through the step in use.
    // Applied at once when running, otherwise at the start. False when not
    // granted.
    bool setRealtime(int priority);
    int realtime() const;
    // Called by the thread itself where it sleeps regularly: asks again for
    // the real-time policy it should have but lost (the kernel's run-time
    // limit puts a real-time thread back when it ran too long without
    // sleeping, e.g. a burner still in a classic cycle when the engine was
    // switched). Asks at most once a second.
    void keepRealtime();
    // Pins the thread to one processor; takes effect when the thread starts
    // (at once when it runs already).
    void setProcessor(int cpu);

    void terminate();  // sets the terminate request
    bool terminated() const;
    // Sets the terminate request, clears the suspend count and waits until
    // Execute returned. A thread that never started is not started.
    void terminateAndWait();

    // Kernel thread id, 0 before the thread started.
    pid_t threadId() const;

    struct State;  // the implementation's; public for its signal handler

protected:
    virtual void Execute() = 0;
    bool Terminated() const { return terminated(); }

private:
    Result<> start();
    static void* run(void* state);
    std::unique_ptr<State> state_;
};

class GroupStanding;
class RunMeter;

// Priorities of the whole process and of the calling thread.
enum class PriorityClass { High, Realtime };

// The nice value each priority class stands for, as the engine decides
// (engine::kClassNice): every thread of the process takes it, and the
// session's group where it is raised.
struct ClassNice {
    int high = 0;
    int realtime = 0;
    int of(PriorityClass cls) const { return cls == PriorityClass::Realtime ? realtime : high; }
};

// What one look over the processes tells of a scheduling group (autogroup)
// of one of the user's other sessions, for the engine's rule to judge.
struct SessionFacts {
    int processes = 0;        // seen in the group (hidepid may hide some)
    int usersOwn = 0;         // of them, the user's: real and effective user both
    bool leaderSeen = false;  // the session's leader is one of them
    int nice = 0;             // the group's value now
};
// The engine's rule: whether the group is the user's to lower.
using SessionRule = bool (*)(const SessionFacts&);

// The user's other sessions' groups that rule takes, lowered to nice.
struct SessionsLowering {
    int nice = 0;
    SessionRule takes = nullptr;
};

class SystemControl {
public:
    virtual ~SystemControl() = default;
    // Major number of the operating system release; 0 when the query fails.
    virtual int majorVersion() = 0;
    // The nice value each class stands for, from now on; handed in before
    // the first class is set (until then a class stands for nothing, and
    // setting one or raising the session to it does nothing).
    virtual void useClassNice(const ClassNice& levels) = 0;
    // Raises every thread of the process; false when the system refused
    // (failures are harmless: everything then runs at normal priority).
    virtual bool setProcessPriorityClass(PriorityClass cls) = 0;
    virtual bool setCurrentThreadPriority(ThreadPriority priority) = 0;
    // Processors this process may run on.
    virtual std::vector<int> allowedProcessors() = 0;

    // The system's steps to higher scheduling, in order, owned by the system
    // control; made at the first call, with what real time must keep to.
    virtual std::vector<RightsStep*> rightsSteps(const RealtimeRunTime& runTime) = 0;
    // The step through which threads go under the real-time policy from now
    // on (none: real time is not used), as the engine's ladder chose.
    virtual void useRealtimeStep(RightsStep* step) = 0;
    // The calling thread under the real-time policy (0: back to normal),
    // through the step in use.
    virtual bool setCurrentThreadRealtime(int priority) = 0;
    // The signals on which every scheduling group Lentora changed goes back
    // as found (as at exit); asked before the groups are changed.
    virtual void putGroupsBackOn(std::span<const int> waysOut) = 0;
    // The session's scheduling group raised to the process class's level
    // (raise) or put back as it was found; true when it is raised now.
    virtual bool raiseSession(bool raise, PriorityClass cls) = 0;
    // Whether the scheduler shares the processor between sessions first.
    virtual bool sessionsGrouped() = 0;
    // The groups of the user's other sessions that the engine's rule takes,
    // lowered (an owner may go down to 19) or, with none, put back as found,
    // for burners that do not hold against them; where sessions don't
    // decide, nothing. True when they are asked to be lowered now.
    virtual bool lowerOtherSessions(std::optional<SessionsLowering> ask) = 0;
    // Whether what was last asked of the other sessions is done: the kernel
    // takes one change a tenth of a second, so it may take a while.
    virtual bool otherSessionsSettled() { return true; }
    // How programs are launched from now on.
    virtual void setLaunchStanding(const LaunchStanding& standing) = 0;
    // The standing of Lentora's control group; none where nothing can be asked.
    virtual GroupStanding* groupStanding() { return nullptr; }
    // What threads really ran; none where nothing can be measured.
    virtual RunMeter* runMeter() { return nullptr; }
};

SystemControl& systemControl();

}  // namespace platform
