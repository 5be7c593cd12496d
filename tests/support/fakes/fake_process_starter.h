#pragma once
// A process starter that starts nothing: each start succeeds or fails as
// scripted, and the one program it "started" runs until the test ends it.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/process.h"

class FakeProcessStarter : public platform::ProcessStarter {
public:
    // The next starts fail with this reason (empty: they succeed).
    void failWith(std::string reason) { failure_ = std::move(reason); }
    // The started program ends: running() turns false, waitForEnd returns.
    void endProgram();
    // Arguments and directory of every start, failed ones too.
    struct Start {
        std::vector<std::string> arguments;
        std::string directory;
    };
    std::vector<Start> starts() const;

    platform::Started start(const std::vector<std::string>& arguments, const std::string& directory) override;

    struct Program;  // what the started handles share

private:
    std::string failure_;
    std::shared_ptr<Program> program_;
    mutable std::mutex mutex_;
    std::vector<Start> starts_;
};
