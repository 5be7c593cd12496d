// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A process starter that starts nothing: starts succeed, or fail with the
// scripted reason; the one program it "starts" runs until the test ends it.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/process.h"

namespace platform {

class FakeProcessStarter : public ProcessStarter {
public:
    FakeProcessStarter();
    std::optional<Failure> failure;  // set before a start: it fails with this
    // The program ends: running() turns false and waitForEnd returns.
    void endProgram();
    int starts() const { return starts_; }

    Result<std::unique_ptr<Process>> start(const std::vector<std::string>& arguments,
                                           const std::string& directory) override;
    struct Program;

private:
    const std::shared_ptr<Program> program_;
    std::atomic<int> starts_{0};
};

}  // namespace platform
