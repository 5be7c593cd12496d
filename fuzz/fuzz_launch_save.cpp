// SPDX-License-Identifier: GPL-3.0-or-later
// Saves of the launch list by two copies of the program at once, each in its
// own process, on a file that the input gives (or none: the first save).
// The first input byte chooses whether lentora.ini exists and how each copy
// edits the list; the rest is the file's bytes.
//
// Invariants: a file that does not load (a NUL byte, lines that do not make
// whole entries, beyond the limits) is left byte for byte by both saves; on
// a file that loads, and on none, both saves succeed, both copies' additions
// are in the file afterwards, every entry neither copy touched is kept with
// its bytes, and nothing but lentora.ini is left in the folder (no lock file,
// no temporary file).
//
// Run as root, bit 128 has both copies save through a user's link while the
// user exchanges the folder it leads through with a link to a root-only
// folder (scratch.h). A save may then fail, with a message; nothing in the
// root-only folder changes, the user's file keeps loading (or, when it did
// not load, keeps its bytes), and nothing else is left beside it.
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "launch/launch_file.h"
#include "launch_merge.h"
#include "scratch.h"

using namespace launch;
namespace fs = std::filesystem;

namespace {

const fs::path& scratchDir() { return scratchDirNamed("lentora-fuzz-save-"); }

// One copy's edits of the list it loaded: drops the entries picked by
// dropEvery, changes those picked by changeEvery, adds its own.
struct Copy {
    std::vector<LaunchEntry> mine;
    std::vector<int> origins;
    LaunchEntry added;
};

Copy edit(const std::vector<LaunchEntry>& base, unsigned dropEvery, unsigned changeEvery, const std::string& name) {
    Copy copy;
    for (size_t k = 0; k < base.size(); ++k) {
        if (dropEvery && k % dropEvery == 0) continue;
        copy.mine.push_back(base[k]);
        if (changeEvery && (k + 1) % changeEvery == 0) copy.mine.back().wait += name;
        copy.origins.push_back(int(k));
    }
    copy.added = {name, "/bin/" + name, "50", "0", "0", "noclose", "notminimized"};
    copy.mine.push_back(copy.added);
    copy.origins.push_back(-1);
    return copy;
}

// Starts the copy's save in a child process once `go` is readable.
pid_t startSave(const fs::path& file, const std::vector<LaunchEntry>& base, const Copy& copy, int go) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    char ready;
    if (read(go, &ready, 1) != 1) _exit(3);
    const auto failure = updateLaunchFile(file, [&](std::vector<LaunchEntry> onDisk) {
                             return mergeLaunchEntries(base, copy.mine, copy.origins, onDisk);
                         }).failure();
    _exit(failure ? (failure->reason.empty() ? 2 : 1) : 0);  // a failure without a message is a fault
}

// Both copies save at once; returns how many failed.
int saveTogether(const fs::path& file, const std::vector<LaunchEntry>& base, const Copy& a, const Copy& b) {
    int go[2];
    if (pipe(go) != 0) std::abort();
    const pid_t pids[2] = {startSave(file, base, a, go[0]), startSave(file, base, b, go[0])};
    if (write(go[1], "go", 2) != 2) std::abort();
    close(go[0]);
    close(go[1]);
    int failed = 0;
    for (const pid_t pid : pids) {
        int status = 0;
        pid_t waited = -1;
        while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}  // the fuzzer's timer ticks
        if (pid < 0 || waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
            std::fprintf(stderr, "a copy did not end normally: pid %d, wait %d (%s), status %#x\n", int(pid),
                         int(waited), std::strerror(errno), status);
            std::abort();  // a crash of the copy is reported above
        }
        failed += WEXITSTATUS(status);
    }
    return failed;
}

bool contains(const std::vector<LaunchEntry>& list, const LaunchEntry& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

bool touched(const Copy& copy, size_t k, const LaunchEntry& entry) {
    const auto at = std::find(copy.origins.begin(), copy.origins.end(), int(k));
    return at == copy.origins.end() || !(copy.mine[size_t(at - copy.origins.begin())] == entry);
}

int saveWhileExchanging(unsigned how, const std::string& text) {
    FolderExchange exchange(scratchDir(), kLaunchFileName, kLaunchFileName, (how & 1) ? &text : nullptr);
    const auto loaded = loadLaunchFile(exchange.folder() / kLaunchFileName);
    const std::vector<LaunchEntry> base = loaded ? *loaded : std::vector<LaunchEntry>{};
    exchange.start();
    saveTogether(scratchDir() / "home" / kLaunchFileName, base, edit(base, (how >> 1) & 3, (how >> 3) & 3, "a"),
                 edit(base, (how >> 5) & 3, 0, "b"));
    exchange.stop();
    if (!exchange.outsideUntouched()) std::abort();  // a save landed in root's folder
    const fs::path kept = exchange.folder() / kLaunchFileName;
    if (loaded ? !loadLaunchFile(kept) : ((how & 1) && bytesOf(kept) != text)) std::abort();
    if (std::distance(fs::directory_iterator(exchange.folder()), fs::directory_iterator()) > 1) std::abort();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned how = data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const fs::path file = scratchDir() / kLaunchFileName;
    fs::remove_all(scratchDir());
    fs::create_directories(scratchDir());
    if ((how & 128) && geteuid() == 0) return saveWhileExchanging(how, text);
    if (how & 1) std::ofstream(file, std::ios::binary) << text;

    const auto loaded = loadLaunchFile(file);
    const std::vector<LaunchEntry> base = loaded ? *loaded : std::vector<LaunchEntry>{};
    const Copy a = edit(base, (how >> 1) & 3, (how >> 3) & 3, "a");
    const Copy b = edit(base, (how >> 5) & 3, (how >> 6) & 3, "b");
    const int failed = saveTogether(file, base, a, b);

    if (!loaded) {
        if (failed != 2 || bytesOf(file) != text) std::abort();  // a file that did not load was replaced
        return 0;
    }
    if (failed != 0) std::abort();
    const auto after = loadLaunchFile(file);
    if (!after || !contains(*after, a.added) || !contains(*after, b.added)) std::abort();
    for (size_t k = 0; k < base.size(); ++k)
        if (!touched(a, k, base[k]) && !touched(b, k, base[k]) && !contains(*after, base[k])) std::abort();
    if (std::distance(fs::directory_iterator(scratchDir()), fs::directory_iterator()) != 1) std::abort();
    return 0;
}
