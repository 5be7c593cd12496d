// SPDX-License-Identifier: GPL-3.0-or-later
#include "start_up_steps.h"

#include <cstdio>

#include "engine/factor.h"

namespace shell {

// Nothing when the processor cannot be identified: nothing is shown then,
// the processor is only unknown.
std::unique_ptr<cpuid::TCPUID> identifyProcessor(Services& services) {
    auto identified = cpuid::createCPUID(services.processor, services.clock, services.machineRegistry);
    return identified ? std::move(*identified) : nullptr;
}

bool readCommandLine(const std::vector<std::string>& parameters, cmdline::CommandLineSettings& settings,
                     double processorSpeed, const std::function<void()>& virtualSpeedRefused) {
    const std::vector<cmdline::RejectedParameter> rejected =
        cmdline::parameters(parameters, settings, processorSpeed, virtualSpeedRefused, engine::kMaxFactor);
    for (const cmdline::RejectedParameter& r : rejected)
        std::fprintf(stderr, "lentora: invalid parameter \"%s\": %s\n", r.parameter.c_str(), r.reason.c_str());
    return rejected.empty();
}

}  // namespace shell
