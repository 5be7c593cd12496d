// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store's save path on a store file that the input gives: one
// string value written through openRegFile, as the program writes its
// settings. The first byte chooses whether the store exists, whether it is
// reached through a symbolic link (to a file or to none yet; run as root,
// also another user's link, planted or of the folder's owner) and whether
// it is grown beyond the size the program reads; the second is the value's
// length, then come the value's bytes and the store's text. Run as root, bit
// 64 saves through a user's link while the user exchanges the folder it
// leads through with a link to a root-only folder (scratch.h).
//
// Invariants: a store beyond the limit, a value that cannot be stored (a
// line break or NUL) and another user's link to a file of root's or to none
// leave the file byte for byte (or absent) and give a message;
// otherwise the save succeeds, the value reads back with every byte, the
// link is still a link, saving the same value again changes nothing, and
// no lock or temporary file is left in the folder. During the exchange the
// save may fail, with a message, but nothing in the root-only folder changes
// and nothing but the store is left in the user's folder.
#include <platform/registry.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "reg_document.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

// Beyond the size the store reads (1 MiB), as a sparse file: no disk space.
constexpr std::uintmax_t kBeyondTheLimit = (std::uintmax_t(1) << 20) + 1;
constexpr uid_t kNobody = 65534;

const fs::path& scratchDir() { return scratchDirNamed("lentora-fuzz-store-"); }

size_t filesIn(const fs::path& dir) {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// The exchange of bit 64: the user's store is reached through their folder d.
int saveWhileExchanging(const std::string& value, const std::string& text, bool exists) {
    FolderExchange exchange(scratchDir(), "registry.reg", "kept.reg", exists ? &text : nullptr);
    exchange.start();
    const auto failure = platform::openRegFile(scratchDir() / "home" / "registry.reg")
                             ->writeString("Software\\Lentora", "fuzz", value)
                             .failure();
    exchange.stop();
    if (failure && failure->reason.empty()) std::abort();
    if (!exchange.outsideUntouched()) std::abort();  // the save landed in root's folder
    if (filesIn(exchange.folder()) > 1) std::abort();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned how = data[0];
    const size_t valueSize = std::min<size_t>(data[1] % 64, size - 2);
    const std::string value(reinterpret_cast<const char*>(data) + 2, valueSize);
    const std::string text(reinterpret_cast<const char*>(data) + 2 + valueSize, size - 2 - valueSize);
    const bool exists = how & 1, linked = how & 2, oversized = exists && (how & 12) == 12;
    const bool foreignLink = linked && (how & 16) && geteuid() == 0;

    fs::remove_all(scratchDir());
    fs::create_directories(scratchDir());
    if ((how & 64) && geteuid() == 0) return saveWhileExchanging(value, text, exists);
    const fs::path store = scratchDir() / "registry.reg";
    const fs::path real = linked ? scratchDir() / "kept.reg" : store;
    if (linked) fs::create_symlink(real.filename(), store);
    if (foreignLink && (lchown(store.c_str(), kNobody, kNobody) != 0 ||
                        ((how & 32) && chown(scratchDir().c_str(), kNobody, kNobody) != 0)))
        std::abort();
    if (exists) std::ofstream(real, std::ios::binary) << text;
    if (oversized) fs::resize_file(real, kBeyondTheLimit);
    const std::string before = exists ? bytesOf(real) : std::string();

    const auto registry = platform::openRegFile(store);
    const auto failure = registry->writeString("Software\\Lentora", "fuzz", value).failure();
    const bool saved = !failure;
    if (oversized || !platform::reg::fitsOnOneLine(value) || foreignLink) {
        // Refused: the message says why, and the file is as it was.
        if (saved || failure->reason.empty()) std::abort();
        if (exists != fs::exists(real) || (exists && bytesOf(real) != before)) std::abort();
        return 0;
    }
    if (!saved || registry->readString("Software\\Lentora", "fuzz") != value) std::abort();
    if (fs::is_symlink(store) != linked) std::abort();
    const std::string after = bytesOf(real);
    if (!registry->writeString("Software\\Lentora", "fuzz", value) || bytesOf(real) != after) std::abort();
    if (filesIn(scratchDir()) != (linked ? 2u : 1u)) std::abort();
    return 0;
}
