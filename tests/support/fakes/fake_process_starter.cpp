#include "fakes/fake_process_starter.h"

#include <condition_variable>

struct FakeProcessStarter::Program {
    std::mutex mutex;
    std::condition_variable ended;
    bool running = true;
};

namespace {
class FakeProcess : public platform::Process {
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

private:
    std::shared_ptr<FakeProcessStarter::Program> program_;
};
}  // namespace

void FakeProcessStarter::endProgram() {
    std::lock_guard guard(mutex_);
    if (!program_) return;
    std::lock_guard lock(program_->mutex);
    program_->running = false;
    program_->ended.notify_all();
}

std::vector<FakeProcessStarter::Start> FakeProcessStarter::starts() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

platform::Started FakeProcessStarter::start(const std::vector<std::string>& arguments, const std::string& directory) {
    std::lock_guard lock(mutex_);
    starts_.push_back({arguments, directory});
    if (!failure_.empty()) return {nullptr, failure_};
    program_ = std::make_shared<Program>();
    return {std::make_unique<FakeProcess>(program_), ""};
}
