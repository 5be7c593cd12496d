#pragma once
// A scripted SystemControl for tests: it answers what the test set and
// records every call in order.
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"

namespace platform {

class FakeSystemControl : public SystemControl {
public:
    void setMajorVersion(int major);                  // default 6
    void setPriorityAnswer(bool accepted);            // answer of both setters, default true
    void setAllowedProcessors(std::vector<int> cpus); // default {0}

    // The calls in order: "majorVersion", "setProcessPriorityClass(High)",
    // "setProcessPriorityClass(Realtime)", "setCurrentThreadPriority(Normal)",
    // "setCurrentThreadPriority(AboveNormal)",
    // "setCurrentThreadPriority(TimeCritical)", "allowedProcessors".
    std::vector<std::string> calls() const;
    std::vector<PriorityClass> priorityClasses() const;
    std::vector<ThreadPriority> threadPriorities() const;

    int majorVersion() override;
    bool setProcessPriorityClass(PriorityClass cls) override;
    bool setCurrentThreadPriority(ThreadPriority priority) override;
    std::vector<int> allowedProcessors() override;

private:
    mutable std::mutex mutex_;
    int major_ = 6;
    bool priorityAnswer_ = true;
    std::vector<int> cpus_{0};
    std::vector<std::string> calls_;
    std::vector<PriorityClass> classes_;
    std::vector<ThreadPriority> priorities_;
};

}  // namespace platform
