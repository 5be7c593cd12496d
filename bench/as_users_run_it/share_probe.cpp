// SPDX-License-Identifier: GPL-3.0-or-later
// Watches a running Lentora and one victim program from outside, as any other
// program of the machine could, for bench/as_users_run_it.sh. Every 100 ms it
// reads the run time of every thread (/proc/PID/task/TID/schedstat, in ns:
// /proc's CPU times count in 10 ms ticks, too coarse for a 2 % share of a
// 100 ms slice) of the victim, of Lentora and of an optional background load.
//
//   share_probe --lentora=(PID|@FILE) (--victim=PID | --victim-name=COMM) [--load=PID]
//               [--window=5] [--windows=2] [--settle=2] [--start-by=S]
//
// The slowed span starts at the first 100 ms slice in which Lentora's burners
// ran for more than 20 ms; at factor 0 they never do, and --start-by (seconds
// after the victim started) stands in. The burners are the threads Lentora
// pins to one processor each (none of its other threads is pinned, and its
// threads have no names of their own to tell them by).
// With --lentora=@FILE the probe starts with the victim, before Lentora, and
// reads Lentora's pid from FILE once the script wrote it there.
// Windows are whole seconds of the victim's life, so that the script can take
// its work rate from sysbench's per-second reports. Prints key=value lines:
//   slowed seen=1
//   baseline from=1 to=4 share=0.993
//   window from=9 to=14 share=0.0198 slice=0.031 own=0.0011 burners=1.95 load=0.041
//   span seconds=12.4 share=0.0201
//   tail seconds=1 share=0.0199   (one per whole second of the span)
//   probe share=0.0008
// (shares in processors; slice: the largest 100 ms slice's share; own: Lentora
// apart from its burners; span: from the slow-down's start to the victim's
// end; tail: the last seconds of it, without the last half second; probe: the probe's own processor time while it
// watched.)
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options {
    pid_t lentora = 0;
    std::string lentoraFile;  // holds Lentora's pid once it started
    pid_t victim = 0;
    std::string victimName;
    pid_t load = 0;
    int window = 5;
    int windows = 2;
    double settle = 2;
    double startBy = 8;
};

struct Sample {
    double t = 0;       // CLOCK_BOOTTIME, seconds
    double victim = 0;  // run time, seconds
    double burners = 0;
    double own = 0;  // Lentora apart from the burners
    double load = 0;
};

double bootSeconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

std::vector<pid_t> numberedEntries(const std::string& folder) {
    std::vector<pid_t> ids;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return ids;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') ids.push_back(std::atoi(entry->d_name));
    closedir(dir);
    return ids;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Run time of one thread in seconds; nullopt once it is gone.
std::optional<double> threadRunTime(pid_t pid, pid_t tid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/schedstat");
    double ns = 0;
    if (!(in >> ns)) return std::nullopt;
    return ns / 1e9;
}

// Run time of a process's threads, summed; a thread that ended keeps its
// last figure, so that the sum never falls (sysbench's workers end before it).
class RunTimes {
public:
    double read(pid_t pid) {
        for (pid_t tid : numberedEntries("/proc/" + std::to_string(pid) + "/task"))
            if (auto run = threadRunTime(pid, tid)) last_[tid] = *run;
        double total = 0;
        for (const auto& [tid, run] : last_) total += run;
        return total;
    }

private:
    std::map<pid_t, double> last_;
};

bool pinnedToOneProcessor(pid_t pid, pid_t tid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Cpus_allowed_list:", 0) == 0) return line.find_first_of(",-") == std::string::npos;
    return false;
}

// Field `index` (1-based, as proc(5) counts) of /proc/PID/stat.
std::string statField(pid_t pid, int index) {
    const std::string line = firstLine("/proc/" + std::to_string(pid) + "/stat");
    const auto close = line.rfind(')');
    if (close == std::string::npos) return "";
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    for (int i = 3; rest >> field; ++i)
        if (i == index) return field;
    return "";
}

// A descendant of `root` whose command is `name` (the launched victim),
// found through the children lists of its threads: far cheaper than a walk
// over /proc, which the probe would do every 100 ms until the launch.
pid_t descendantNamed(pid_t root, const std::string& name, int depth = 0) {
    if (depth > 8) return 0;
    for (pid_t tid : numberedEntries("/proc/" + std::to_string(root) + "/task")) {
        std::ifstream in("/proc/" + std::to_string(root) + "/task/" + std::to_string(tid) + "/children");
        for (pid_t child; in >> child;) {
            if (firstLine("/proc/" + std::to_string(child) + "/comm") == name) return child;
            if (pid_t found = descendantNamed(child, name, depth + 1)) return found;
        }
    }
    return 0;
}

// Once a thread has been seen pinned it counts as a burner for good: its
// earlier run time (before it was pinned) is negligible.
class LentoraThreads {
public:
    void read(pid_t pid, Sample& s) {
        pid_ = pid;
        for (pid_t tid : numberedEntries("/proc/" + std::to_string(pid_) + "/task")) {
            if (tid != pid_ && pinnedToOneProcessor(pid_, tid)) burners_[tid] = true;
            if (auto run = threadRunTime(pid_, tid)) last_[tid] = *run;
        }
        // Threads that ended keep their last figure, as in RunTimes.
        for (const auto& [tid, run] : last_) (burners_.count(tid) ? s.burners : s.own) += run;
    }

private:
    pid_t pid_ = 0;
    std::map<pid_t, bool> burners_;
    std::map<pid_t, double> last_;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        const std::string key = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        if (key == "--lentora" && value.rfind('@', 0) == 0)
            o.lentoraFile = value.substr(1);
        else if (key == "--lentora")
            o.lentora = std::atoi(value.c_str());
        else if (key == "--victim")
            o.victim = std::atoi(value.c_str());
        else if (key == "--victim-name")
            o.victimName = value;
        else if (key == "--load")
            o.load = std::atoi(value.c_str());
        else if (key == "--window")
            o.window = std::atoi(value.c_str());
        else if (key == "--windows")
            o.windows = std::atoi(value.c_str());
        else if (key == "--settle")
            o.settle = std::atof(value.c_str());
        else if (key == "--start-by")
            o.startBy = std::atof(value.c_str());
        else {
            std::fprintf(stderr, "share_probe: unknown option %s\n", arg.c_str());
            std::exit(2);
        }
    }
    if ((o.lentora <= 0 && o.lentoraFile.empty()) || (o.victim <= 0 && o.victimName.empty()) || o.window <= 0) {
        std::fprintf(stderr,
                     "usage: share_probe --lentora=(PID|@FILE) (--victim=PID | --victim-name=COMM) [--load=PID]\n");
        std::exit(2);
    }
    return o;
}

void sleepUntil(double bootTime) {
    timespec at{};
    at.tv_sec = static_cast<time_t>(bootTime);
    at.tv_nsec = static_cast<long>((bootTime - at.tv_sec) * 1e9);
    while (clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &at, nullptr) != 0) {}
}

// Samples every 100 ms until the victim is gone (or Lentora, before the
// victim was found: a launch that failed).
std::vector<Sample> watch(Options& o, double& victimStart) {
    std::vector<Sample> samples;
    LentoraThreads lentora;
    RunTimes victim, load;
    const double tick = sysconf(_SC_CLK_TCK);
    for (double next = bootSeconds();; next += 0.1) {
        sleepUntil(next);
        if (o.lentora <= 0 && !o.lentoraFile.empty()) o.lentora = std::atoi(firstLine(o.lentoraFile).c_str());
        if (o.victim <= 0) {
            o.victim = descendantNamed(o.lentora, o.victimName);
            if (o.victim <= 0 && kill(o.lentora, 0) != 0) break;
            if (o.victim <= 0) continue;
        }
        if (victimStart <= 0) victimStart = std::atof(statField(o.victim, 22).c_str()) / tick;
        Sample s;
        const double before = bootSeconds();
        if (kill(o.victim, 0) != 0 || statField(o.victim, 3) == "Z") break;
        s.victim = victim.read(o.victim);
        if (o.lentora > 0) lentora.read(o.lentora, s);
        if (o.load > 0) s.load = load.read(o.load);
        // The moment of the readings: taken from /proc in well under a
        // millisecond (the script runs the probe above the burners).
        s.t = (before + bootSeconds()) / 2;
        samples.push_back(s);
    }
    return samples;
}

// The sample nearest to a moment.
const Sample& at(const std::vector<Sample>& samples, double t) {
    size_t best = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i].t - t) < std::fabs(samples[best].t - t)) best = i;
    return samples[best];
}

std::optional<double> slowedFrom(const std::vector<Sample>& samples) {
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i].burners - samples[i - 1].burners > 0.020) return samples[i - 1].t;
    return std::nullopt;
}

double largestSlice(const std::vector<Sample>& samples, double from, double to) {
    double largest = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1].t >= from && samples[i].t <= to)
            largest =
                std::max(largest, (samples[i].victim - samples[i - 1].victim) / (samples[i].t - samples[i - 1].t));
    return largest;
}

void report(const std::vector<Sample>& samples, double victimStart, const Options& o) {
    if (samples.size() < 2) {
        std::printf("error what=\"no victim seen\"\n");
        return;
    }
    // Whether the burners were seen: the script refuses the windows of a
    // factor above 0 without them (a Lentora that took longer to start than
    // the victim ran).
    const std::optional<double> seen = slowedFrom(samples);
    const double slowed = seen.value_or(victimStart + o.startBy);
    std::printf("slowed seen=%d\n", seen ? 1 : 0);
    const double end = samples.back().t;
    const int slowedSecond = static_cast<int>(std::floor(slowed - victimStart));
    if (slowedSecond > 1) {
        const Sample &a = at(samples, victimStart + 1), &b = at(samples, victimStart + slowedSecond);
        std::printf("baseline from=1 to=%d share=%.4f\n", slowedSecond, (b.victim - a.victim) / (b.t - a.t));
    }
    int from = static_cast<int>(std::ceil(slowed - victimStart + o.settle));
    for (int k = 0; k < o.windows && victimStart + from + o.window <= end; ++k, from += o.window) {
        const Sample &a = at(samples, victimStart + from), &b = at(samples, victimStart + from + o.window);
        const double dt = b.t - a.t;
        std::printf("window from=%d to=%d share=%.4f slice=%.4f own=%.5f burners=%.4f load=%.4f\n", from,
                    from + o.window, (b.victim - a.victim) / dt, largestSlice(samples, a.t, b.t), (b.own - a.own) / dt,
                    (b.burners - a.burners) / dt, (b.load - a.load) / dt);
    }
    const Sample& a = at(samples, slowed);
    std::printf("span seconds=%.2f share=%.4f\n", end - a.t, (samples.back().victim - a.victim) / (end - a.t));
    // The readout's windows end at its last reading before the program's end,
    // half a second before it on average, and reach back over the seconds it
    // names: the same span from outside, for each whole number of seconds.
    for (int seconds = 1; end - 0.5 - seconds >= a.t; ++seconds) {
        const Sample &from = at(samples, end - 0.5 - seconds), &to = at(samples, end - 0.5);
        std::printf("tail seconds=%d share=%.4f\n", seconds, (to.victim - from.victim) / (to.t - from.t));
    }
    // The probe's own cost, which the other programs share the machine with.
    rusage own{};
    getrusage(RUSAGE_SELF, &own);
    const double cpu = own.ru_utime.tv_sec + own.ru_stime.tv_sec + (own.ru_utime.tv_usec + own.ru_stime.tv_usec) / 1e6;
    std::printf("probe share=%.5f\n", cpu / (end - samples.front().t));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse(argc, argv);
    double victimStart = 0;
    const std::vector<Sample> samples = watch(o, victimStart);
    report(samples, victimStart, o);
    return 0;
}
