// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/standard_options.h"

namespace cmdline {

StandardOption standardOption(const std::vector<std::string>& params) {
    if (params.size() != 1) return StandardOption::None;
    if (params.front() == "--help") return StandardOption::Help;
    if (params.front() == "--version") return StandardOption::Version;
    return StandardOption::None;
}

std::string helpText(std::string_view caption) {
    return std::string(caption) +
           " - slow the machine down by a chosen percentage\n"
           "\n"
           "Usage: lentora [/NOCPUID] [/MINIMIZE] [/CLOSE] [/WAIT=s] [/RUNFOR=s]\n"
           "               [/SPEED=p | /VIRTSPEED=mhz] [program [argument ...]]\n"
           "       lentora --help | --version\n"
           "\n"
           "  /SPEED=p        slow down by p percent (0 to 98)\n"
           "  /VIRTSPEED=mhz  slow down to about this clock speed\n"
           "  /WAIT=s         start the program, then wait s seconds before slowing down\n"
           "  /RUNFOR=s       slow down for s seconds only (0: until the program ends)\n"
           "  /MINIMIZE       minimize Lentora while the program runs\n"
           "  /CLOSE          end Lentora when the watch ends, with the program's exit status\n"
           "  /NOCPUID        treat the processor as unknown\n"
           "\n"
           "Options come first, the program last; their letter case does not matter.\n"
           "A parameter that begins with / and holds another / is a path, not an option.\n"
           "Example, as a game launcher's wrapper:  lentora /SPEED=75 /CLOSE %command%\n"
           "See lentora(1) for more.\n";
}

}  // namespace cmdline
