// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_process_starter.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct FakeProcessStarter::Program {
    std::mutex mutex;
    std::condition_variable ended;
    bool running = true;
};

namespace {
class FakeProcess : public Process {
public:
    explicit FakeProcess(std::shared_ptr<FakeProcessStarter::Program> program) : program_(std::move(program)) {}
    bool running() override {
        std::lock_guard lock(program_->mutex);
        return program_->running;
    }
    void waitForEnd() override {
        std::unique_lock lock(program_->mutex);
        program_->ended.wait(lock, [this] { return !program_->running; });
    }
    pid_t pid() const override { return 4242; }
    std::optional<int> exitStatus() const override { return std::nullopt; }

private:
    const std::shared_ptr<FakeProcessStarter::Program> program_;
};
}  // namespace

FakeProcessStarter::FakeProcessStarter() : program_(std::make_shared<Program>()) {}

void FakeProcessStarter::endProgram() {
    std::lock_guard lock(program_->mutex);
    program_->running = false;
    program_->ended.notify_all();
}

Result<std::unique_ptr<Process>> FakeProcessStarter::start(const std::vector<std::string>&, const std::string&) {
    ++starts_;
    if (failure) return *failure;
    return std::unique_ptr<Process>(std::make_unique<FakeProcess>(program_));
}

}  // namespace platform
