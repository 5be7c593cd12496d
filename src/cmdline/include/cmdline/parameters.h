// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's command line: options first, the application to launch last,
// for example  /SPEED=60 /WAIT=5 /CLOSE /usr/games/foo --fast

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cmdline {

struct CommandLineSettings {
    bool processorUnknown = false;  // as start-up gave it; "/NOCPUID" sets it
    bool minimize = false;
    bool close = false;
    int32_t waitSeconds = 0;
    int32_t runForSeconds = 0;
    int32_t factor = 0;
    std::string application{};  // each parameter followed by one blank
    // The same parameters as they came, the program first: what the program
    // is started with (the text above is what the window shows).
    std::vector<std::string> arguments{};
};

// A parameter the parse did not understand, and why, for standard error.
struct RejectedParameter {
    std::string parameter;
    std::string reason;
};

// Parses the program's parameters (argv without the program name) into
// settings and returns those it did not understand, in the order they stand
// on the command line: none when every one was. On entry
// settings.processorUnknown is the flag start-up gave; after a refusal every
// field is back at its default and processorUnknown at its entry value.
// processorSpeed (MHz, 0 = unknown) is used by "/VIRTSPEED" only.
// showVirtspeedRefused is called once per "/VIRTSPEED" refused because the
// processor is unknown at that moment (the caller shows the message box).
// maxFactor is the highest factor "/SPEED" accepts: the top of the range the
// engine runs (the command line depends on no other library).
[[nodiscard]] std::vector<RejectedParameter> parameters(const std::vector<std::string>& params,
                                                        CommandLineSettings& settings, double processorSpeed,
                                                        const std::function<void()>& showVirtspeedRefused,
                                                        int32_t maxFactor);

// Whether a start with these parameters is meant to run by itself: it names a
// program to launch, or asks Lentora to minimize or close. Such a start shows
// no dialog that waits for a click. Decided before the parse (which needs the
// processor's speed), from the parameters as they stand.
bool startsUnattended(const std::vector<std::string>& params);

// Whether the parameters hold "/CLOSE", understood or not: after a refused
// command line (which sets no flag) Lentora still ends by itself for a
// launcher that asked it to.
bool asksToClose(const std::vector<std::string>& params);

}  // namespace cmdline
