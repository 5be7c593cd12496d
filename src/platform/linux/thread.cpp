// SPDX-License-Identifier: GPL-3.0-or-later
// Suspension by signals: suspend() sends kSuspendSignal to the thread; its
// handler acknowledges and waits in sigsuspend() until the suspend count is
// 0 and kResumeSignal wakes it. The thread's own code polls nothing, and the
// signal path touches only lock-free atomics.
//
// Real-time signals are queued, and the queue has a per-user limit
// (RLIMIT_SIGPENDING): when it is full, or set to 0, the send fails. A
// standard signal is then sent instead: the system delivers it even without
// room in the queue, only its data is lost, so its handler finds the thread's
// state through a per-thread pointer.
#include "platform/thread.h"

#include <cxxabi.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <initializer_list>
#include <mutex>

#include "platform/cpu_clock.h"
#include "platform/cpu_group.h"
#include "priority.h"

namespace platform {

enum class Phase { NotStarted, Starting, Running, Finished };

struct SuspendableThread::State {
    SuspendableThread* owner = nullptr;
    std::atomic<int> count{1};
    std::atomic<Phase> phase{Phase::NotStarted};
    std::atomic<bool> stopped{false};  // inside the suspension handler
    std::atomic<bool> terminate{false};
    std::atomic<pid_t> tid{0};
    std::atomic<ThreadPriority> priority{ThreadPriority::Normal};
    std::atomic<int> cpu{-1};
    std::atomic<int> realtime{0};
    std::atomic<RightsStep*> realtimeStep{nullptr};
    std::atomic<bool> highest{false};
    std::atomic<bool> besideRealtime{false};  // with highest
    int64_t realtimeAskedNs = 0;              // the thread's own, for keepRealtime
    pthread_t self{};                         // written by the thread before it becomes Running
    pthread_t handle{};                       // written by the starter, used to join
    bool joined = false;
};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<Phase>::is_always_lock_free,
              "the signal handler may use only lock-free atomics");

namespace {

int suspendSignal() { return SIGRTMIN + 4; }
int resumeSignal() { return SIGRTMIN + 5; }
// Sent when the real-time signal cannot be queued.
constexpr int kSuspendFallback = SIGUSR1;
constexpr int kResumeFallback = SIGUSR2;

// The state of the suspendable thread running here; null on other threads.
// The suspension signal's handler finds its thread's state through it.
thread_local SuspendableThread::State* currentState = nullptr;

// Runs on the suspended thread. The resume signals are blocked on entry
// (they are in sa_mask), so a resume that comes between the count test and
// sigsuspend() stays pending and ends the wait at once.
void holdWhileSuspended(SuspendableThread::State* state) {
    const int savedErrno = errno;
    sigset_t waitMask;
    pthread_sigmask(SIG_BLOCK, nullptr, &waitMask);
    sigdelset(&waitMask, resumeSignal());
    sigdelset(&waitMask, kResumeFallback);
    do {
        state->stopped.store(true);
        while (state->count.load() > 0) sigsuspend(&waitMask);
        state->stopped.store(false);
    } while (state->count.load() > 0);  // suspended again while leaving
    errno = savedErrno;
}

void onSuspend(int, siginfo_t* info, void*) {
    if (info->si_code != SI_QUEUE || info->si_pid != getpid() || info->si_value.sival_ptr == nullptr)
        return;  // not ours
    holdWhileSuspended(static_cast<SuspendableThread::State*>(info->si_value.sival_ptr));
}

// The standard signal carries no data, and anyone may send it: it stops only
// a suspendable thread whose count says it must be stopped.
void onSuspendFallback(int, siginfo_t*, void*) {
    SuspendableThread::State* state = currentState;
    if (state != nullptr && state->count.load() > 0) holdWhileSuspended(state);
}

// Only wakes sigsuspend(); the default action would end the process.
void onResume(int, siginfo_t*, void*) {}

void installHandler(int signal, void (*handler)(int, siginfo_t*, void*), std::initializer_list<int> blocked) {
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int b : blocked) sigaddset(&action.sa_mask, b);
    sigaction(signal, &action, nullptr);
}

void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Either suspension handler blocks the other and both resumes.
        const auto suspensionMask = {suspendSignal(), kSuspendFallback, resumeSignal(), kResumeFallback};
        installHandler(suspendSignal(), onSuspend, suspensionMask);
        installHandler(kSuspendFallback, onSuspendFallback, suspensionMask);
        installHandler(resumeSignal(), onResume, {});
        installHandler(kResumeFallback, onResume, {});
    });
}

// False when neither signal could be sent: the thread does not know.
// 0 when the signal was sent, else the system's error number.
int send(SuspendableThread::State& state, int signal) {
    sigval value{};
    value.sival_ptr = &state;
    if (pthread_sigqueue(state.self, signal, value) == 0) return 0;
    const int fallback = signal == suspendSignal() ? kSuspendFallback : kResumeFallback;
    return pthread_kill(state.self, fallback);
}

sigset_t suspensionSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {suspendSignal(), resumeSignal(), kSuspendFallback, kResumeFallback}) sigaddset(&set, s);
    return set;
}

void unblockSuspensionSignals() {
    const sigset_t set = suspensionSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool acknowledged(const SuspendableThread::State& state) {
    return state.stopped.load() || state.count.load() == 0 || state.phase.load() == Phase::Finished;
}

long msSince(const timespec& start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1'000'000;
}

// Waits for the handler's acknowledgement without taking any lock the
// stopped thread might hold, sleeping in short steps. It does not yield:
// when the caller shares a processor with the target, a yield can leave the
// target waiting for the next scheduler tick (4 ms measured here), while a
// sleep hands it the processor at once (p99 about 0.15 ms).
void awaitAcknowledgement(const SuspendableThread::State& state) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const timespec step{0, 10'000};
    while (!acknowledged(state) && msSince(start) < 100) nanosleep(&step, nullptr);
}

bool pinToProcessor(pid_t tid, int cpu) {
    if (cpu < 0 || cpu >= CPU_SETSIZE) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(tid, sizeof set, &set) == 0;
}

}  // namespace

SuspendableThread::SuspendableThread() : state_(std::make_unique<State>()) {
    state_->owner = this;
    installHandlers();
}

SuspendableThread::~SuspendableThread() { terminateAndWait(); }

// A failure when the system could not create the thread.
Result<> SuspendableThread::start() {
    State& state = *state_;
    Phase expected = Phase::NotStarted;
    if (!state.phase.compare_exchange_strong(expected, Phase::Starting)) return done();
    const int error = pthread_create(&state.handle, nullptr, run, &state);
    if (error == 0) return done();
    // No thread: stay suspended, a later resume tries again.
    state.count.fetch_add(1);
    state.phase.store(Phase::NotStarted);
    return systemFailure(error);
}

Result<> SuspendableThread::resume() {
    State& state = *state_;
    int count = state.count.load();
    do {
        if (count == 0) return done();
    } while (!state.count.compare_exchange_weak(count, count - 1));
    if (count != 1) return done();
    const Phase phase = state.phase.load();
    if (phase == Phase::NotStarted) return start();
    if (phase != Phase::Running) return done();  // Starting: the new thread tests the count once Running
    if (const int error = send(state, resumeSignal())) {
        state.count.fetch_add(1);  // still suspended: say so
        return systemFailure(error);
    }
    return done();
}

Result<> SuspendableThread::suspend() {
    State& state = *state_;
    if (state.count.fetch_add(1) != 0) return done();
    // A starting thread tests the count before it runs Execute.
    if (state.phase.load() != Phase::Running) return done();
    if (const int error = send(state, suspendSignal())) {
        state.count.fetch_sub(1);  // it still runs: say so
        return systemFailure(error);
    }
    // To itself the signal is delivered before the send returns, so the
    // thread is already past its suspension here.
    if (!pthread_equal(state.self, pthread_self())) awaitAcknowledgement(state);
    return done();
}

int SuspendableThread::suspendCount() const { return state_->count.load(); }

bool SuspendableThread::isStopped() const {
    switch (state_->phase.load()) {
    case Phase::NotStarted:
        return true;
    case Phase::Starting:
        return state_->count.load() > 0;
    case Phase::Running:
        return state_->stopped.load();
    case Phase::Finished:
        return false;
    }
    return false;
}

bool SuspendableThread::finished() const { return state_->phase.load() == Phase::Finished; }

bool SuspendableThread::setPriority(ThreadPriority priority) {
    state_->priority.store(priority);
    const pid_t tid = state_->tid.load();
    if (tid == 0 || finished() || state_->highest.load()) return true;  // applied when the thread starts
    return priority::setThreadNice(tid, priority::niceFor(priority));
}

void SuspendableThread::setHighest(bool besideRealtime) {
    state_->besideRealtime.store(besideRealtime);
    state_->highest.store(true);
    const pid_t tid = state_->tid.load();
    if (tid != 0 && !finished()) priority::setThreadHighest(tid, state_->realtimeStep.load(), besideRealtime);
}

ThreadPriority SuspendableThread::priority() const { return state_->priority.load(); }

void SuspendableThread::useRealtimeStep(RightsStep* step) { state_->realtimeStep.store(step); }

bool SuspendableThread::setRealtime(int priority) {
    const int before = state_->realtime.exchange(priority);
    const pid_t tid = state_->tid.load();
    if (tid == 0 || finished() || priority == before) return true;
    if (!priority::setThreadRealtime(tid, priority, state_->realtimeStep.load())) return false;
    return priority > 0 || priority::setThreadNice(tid, priority::niceFor(state_->priority.load()));
}

int SuspendableThread::realtime() const { return state_->realtime.load(); }

void SuspendableThread::keepRealtime() {
    const int wanted = state_->realtime.load();
    if (wanted <= 0 || gettid() != state_->tid.load()) return;
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (policy == SCHED_FIFO || policy == SCHED_RR) return;
    const int64_t now = monotonicNs();
    if (state_->realtimeAskedNs != 0 && now - state_->realtimeAskedNs < 1'000'000'000) return;
    state_->realtimeAskedNs = now;
    // Asking may take locks (a D-Bus call allocates and locks its connection).
    // A thread stopped while holding one would block whoever takes it next,
    // the suspender included; so a suspension waits until the answer came.
    const sigset_t held = suspensionSignals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &held, &before);
    priority::setThreadRealtime(0, wanted, state_->realtimeStep.load());
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void SuspendableThread::setProcessor(int cpu) {
    state_->cpu.store(cpu);
    const pid_t tid = state_->tid.load();
    if (tid != 0 && !finished()) pinToProcessor(tid, cpu);
}

void SuspendableThread::terminate() { state_->terminate.store(true); }

bool SuspendableThread::terminated() const { return state_->terminate.load(); }

void SuspendableThread::terminateAndWait() {
    State& state = *state_;
    state.terminate.store(true);
    if (state.count.exchange(0) > 0 && state.phase.load() == Phase::Running) send(state, resumeSignal());
    if (state.phase.load() == Phase::NotStarted || state.joined) return;
    pthread_join(state.handle, nullptr);
    state.joined = true;
}

pid_t SuspendableThread::threadId() const { return state_->tid.load(); }

void* SuspendableThread::run(void* arg) {
    auto& state = *static_cast<SuspendableThread::State*>(arg);
    unblockSuspensionSignals();
    state.self = pthread_self();
    currentState = &state;
    state.tid.store(gettid());
    cpugroup::returnToOwnGroup();  // its creator may be a real-time thread in a group above
    // A new thread inherits its creator's nice value; set its own. The tid
    // is published first, so a concurrent setPriority() is applied by one
    // of the two.
    if (state.highest.load())
        priority::setThreadHighest(0, state.realtimeStep.load(), state.besideRealtime.load());
    else
        priority::setThreadNice(0, priority::niceFor(state.priority.load()));
    // Burners sleep to absolute deadlines shared by all of them: wake on
    // time, not within the default 50 us slack of ordinary threads.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (state.realtime.load() > 0) priority::setThreadRealtime(0, state.realtime.load(), state.realtimeStep.load());
    if (state.cpu.load() >= 0) pinToProcessor(0, state.cpu.load());
    state.phase.store(Phase::Running);
    // A suspend that came while starting found no thread to signal.
    if (state.count.load() > 0) send(state, suspendSignal());
    try {
        state.owner->Execute();
    } catch (abi::__forced_unwind&) {
        state.phase.store(Phase::Finished);  // pthread_exit: let it unwind
        throw;
    } catch (...) {
        // Nothing may leave the thread; it simply ends.
    }
    state.phase.store(Phase::Finished);
    return nullptr;
}

}  // namespace platform
