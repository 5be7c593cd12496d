#pragma once
// A thread that is created suspended and can be suspended and resumed from
// other threads at any point of its work, with a suspend count as Windows
// keeps it. Suspension is done by a signal whose handler waits until the
// thread is resumed, so the thread's own code polls nothing.
#include <atomic>
#include <memory>
#include <vector>
#include <sys/types.h>

namespace platform {

enum class ThreadPriority { Normal, AboveNormal, TimeCritical };

class SuspendableThread {
public:
    SuspendableThread();
    virtual ~SuspendableThread();  // sets the terminate request, resumes and joins
    SuspendableThread(const SuspendableThread&) = delete;
    SuspendableThread& operator=(const SuspendableThread&) = delete;

    // Decrements the suspend count; at 0 the thread (first) runs.
    // Resuming a thread that is not suspended does nothing.
    void resume();
    // Increments the suspend count; the first suspend stops the thread within
    // about a millisecond and returns once the thread acknowledged it.
    void suspend();
    int suspendCount() const;
    // True while the thread is stopped in its suspension (or not started yet).
    bool isStopped() const;
    bool finished() const;

    // Applied at once when running, otherwise when the thread starts.
    // Returns false when the system refused (the thread still runs).
    bool setPriority(ThreadPriority priority);
    ThreadPriority priority() const;
    // Pins the thread to one processor; takes effect when the thread starts.
    void setProcessor(int cpu);

    void terminate();  // sets the terminate request
    bool terminated() const;

    // Kernel thread id, 0 before the thread started.
    pid_t threadId() const;

protected:
    virtual void Execute() = 0;
    bool Terminated() const { return terminated(); }

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Priorities of the whole process and of the calling thread.
enum class PriorityClass { High, Realtime };

class SystemControl {
public:
    virtual ~SystemControl() = default;
    // Major number of the operating system release; 0 when the query fails.
    virtual int majorVersion() = 0;
    virtual bool setProcessPriorityClass(PriorityClass cls) = 0;
    virtual bool setCurrentThreadPriority(ThreadPriority priority) = 0;
    // Processors this process may run on.
    virtual std::vector<int> allowedProcessors() = 0;
};

SystemControl& systemControl();

}  // namespace platform
