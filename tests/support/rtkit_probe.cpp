// Asks the real-time service on a bus, as whichever user runs it, for its own
// main thread and prints what it was granted and what the kernel then says:
//   lentora_rtkit_probe BUS_ADDRESS [limit]   ("limit": set RLIMIT_RTTIME first)
// Lines: "limits PRIORITY NICE USEC" (or "limits none"), "high GRANTED NICE",
// "realtime GRANTED POLICY PRIORITY".
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/realtime_kit.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const auto kit = platform::realtimeKitAt(argv[1]);
    const auto limits = kit->limits();
    if (!limits) {
        std::puts("limits none");
        return 0;
    }
    std::printf("limits %d %d %lld\n", limits->maxRealtimePriority, limits->minNiceLevel, limits->rttimeUSecMax);
    if (argc > 2 && std::strcmp(argv[2], "limit") == 0)
        platform::limitRealtimeRunTime(limits->rttimeUSecMax);
    const bool high = kit->makeThreadHighPriority(gettid(), limits->minNiceLevel);
    std::printf("high %d %d\n", high, getpriority(PRIO_PROCESS, 0));
    const bool realtime = kit->makeThreadRealtime(gettid(), limits->maxRealtimePriority);
    sched_param param{};
    sched_getparam(0, &param);
    std::printf("realtime %d %d %d\n", realtime, sched_getscheduler(0), param.sched_priority);
    return 0;
}
