// The launch list file's text form on arbitrary bytes. Invariant: what was
// read, written out and read again is what was read the first time (no
// value is lost, split or merged). Now and then the same goes through a real
// file with saveLaunchFile and loadLaunchFile.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

#include "launch/launchfile.h"

namespace {

bool sameEntries(const std::vector<LaunchEntry>& a, const std::vector<LaunchEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const LaunchEntry &x = a[i], &y = b[i];
        if (x.name != y.name || x.path != y.path || x.factor != y.factor || x.runFor != y.runFor ||
            x.wait != y.wait || x.closeToken != y.closeToken || x.minimizeToken != y.minimizeToken)
            return false;
    }
    return true;
}

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

void throughAFile(const std::vector<LaunchEntry>& entries) {
    if (!saveLaunchFile(scratchFile(), entries).empty()) std::abort();
    const LoadResult loaded = loadLaunchFile(scratchFile());
    if (!loaded.error.empty() || !sameEntries(loaded.entries, entries)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<LaunchEntry> entries = parseLaunchText(text);
    if (entries.size() * 7 > size) std::abort();
    const std::string written = formatLaunchText(entries);
    if (!sameEntries(parseLaunchText(written), entries)) std::abort();
    if (formatLaunchText(parseLaunchText(written)) != written) std::abort();
    if (size % 16 == 0) throughAFile(entries);
    return 0;
}
