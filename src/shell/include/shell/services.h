// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window needs from the outside world. The program passes the
// machine's real services; tests pass fakes, temporary files and short times.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/benchmark.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/processor.h"
#include "platform/registry.h"
#include "platform/thread.h"

namespace widgets {
class Dialogs;
class TrayShell;
}  // namespace widgets

namespace engine {
class TSlowDown;
}  // namespace engine

namespace shell {

class HelpViewer;

struct Services {
    platform::Clock& clock;
    platform::SystemControl& system;
    platform::UserRegistry& registry;
    platform::Processor& processor;
    platform::MachineRegistry& machineRegistry;
    platform::ProcessStarter& processes;
    widgets::Dialogs& dialogs;
    std::shared_ptr<widgets::TrayShell> trayShell;
    HelpViewer& help;
    // The program's parameters, without its own name.
    std::vector<std::string> parameters{};
    // The launch list file; a relative name is looked up in the current directory.
    std::filesystem::path launchFile = "lentora.ini";
    uint32_t startupSleepMs = 500;
    int64_t benchmarkDraws = engine::kBenchmarkDraws;
    // Processors to put burners on (empty: the ones the process may run on).
    std::vector<int> processors{};
    int tickIntervalMs = 1000;
    // The slow-down the window drives; none: the window makes its own on the
    // services above. One given here is the caller's to keep for the life of
    // the process (its burners are never joined), and the caller may watch
    // its burners while the window drives them.
    engine::TSlowDown* slowDown = nullptr;
};

}  // namespace shell
