// SPDX-License-Identifier: GPL-3.0-or-later
// The launch list file's text form on arbitrary bytes. Invariants: what was
// read, written out and read again is what was read the first time (no
// value is lost, split or merged); a text within the limits gives at most
// the limits' entries and lines; merging two copies' edits loses nothing.
// Now and then the same goes through a real file with saveLaunchFile and
// loadLaunchFile.
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "launch/launch_file.h"
#include "launch_merge.h"

using namespace launch;

namespace {

// A private directory on a memory file system when there is one.
const std::filesystem::path& scratchFile() {
    static const std::filesystem::path file = [] {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        const std::filesystem::path dir = base / ("lentora-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        return dir / kLaunchFileName;
    }();
    return file;
}

void throughAFile(const std::vector<LaunchEntry>& entries, bool withinLimits) {
    const bool saved = bool(saveLaunchFile(scratchFile(), entries));
    if (saved != withinLimits) std::abort();
    if (!withinLimits) return;
    const auto loaded = loadLaunchFile(scratchFile());
    if (!loaded || *loaded != entries) std::abort();
}

bool contains(const std::vector<LaunchEntry>& list, const LaunchEntry& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

// The first half of the entries is the common base; this copy removes every
// third, changes every fifth and adds one, the other copy drops the first
// and adds another. Every entry that one side added or kept unchanged while
// the other did not touch it must survive.
void merges(const std::vector<LaunchEntry>& entries) {
    const std::vector<LaunchEntry> base(entries.begin(), entries.begin() + long(entries.size() / 2));
    std::vector<LaunchEntry> mine;
    std::vector<int> origins;
    for (size_t k = 0; k < base.size(); ++k) {
        if (k % 3 == 2) continue;
        mine.push_back(base[k]);
        if (k % 5 == 4) mine.back().factor += "9";
        origins.push_back(int(k));
    }
    const LaunchEntry mineAdded{"mine", "/mine", "1", "0", "0", "noclose", "notminimized"};
    const LaunchEntry theirsAdded{"theirs", "/theirs", "2", "0", "0", "noclose", "notminimized"};
    mine.push_back(mineAdded);
    origins.push_back(-1);
    std::vector<LaunchEntry> theirs(base.begin() + (base.empty() ? 0 : 1), base.end());
    theirs.push_back(theirsAdded);
    const std::vector<LaunchEntry> merged = mergeLaunchEntries(base, mine, origins, theirs);
    if (!contains(merged, mineAdded) || !contains(merged, theirsAdded)) std::abort();
    for (const LaunchEntry& e : mine)
        if (!contains(merged, e) && !contains(base, e)) std::abort();  // a change of mine was lost
    if (mergeLaunchEntries(base, mine, origins, base) != mine) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<LaunchEntry> entries = parseLaunchText(text);
    if (entries.size() * 7 > size) std::abort();
    const std::string written = formatLaunchText(entries);
    if (parseLaunchText(written) != entries) std::abort();
    if (formatLaunchText(parseLaunchText(written)) != written) std::abort();
    const bool withinLimits = bool(checkLaunchText(written));
    if (checkLaunchText(text) && entries.size() > kLaunchMaxEntries) std::abort();
    merges(entries);
    if (size % 16 == 0) throughAFile(entries, withinLimits);
    return 0;
}
