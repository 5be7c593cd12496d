// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinned_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <deque>

namespace platform {

namespace fs = std::filesystem;

namespace {

// More links than this on the way is a loop, as for the kernel.
constexpr int kMaxLinks = 40;

}  // namespace

void Fd::reset(int f) {
    if (fd >= 0) close(fd);
    fd = f;
}

// openat2 refuses a link anywhere in the name, magic links of /proc too, and
// any way out of the folder. Kernels before 5.6 lack it: a single name with
// O_NOFOLLOW is then the same, as no name given here holds a "/".
int openIn(int folder, const std::string& name, int flags, mode_t mode) {
    flags |= O_NOFOLLOW | O_CLOEXEC;
    // Whether the running kernel lacks it: one fact for the whole process,
    // found at the first call that meets ENOSYS.
    static std::atomic<bool> openat2Missing{false};
    if (!openat2Missing.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = std::uint64_t(flags);
        how.mode = (flags & O_CREAT) ? mode : 0;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) return int(fd);
        openat2Missing.store(true, std::memory_order_relaxed);
    }
    if (name.empty() || name == ".." || name.find('/') != std::string::npos) return errno = EXDEV, -1;
    return openat(folder, name.c_str(), flags, mode);
}

namespace {

class Walk {
public:
    Walk(ActingUser& actor, PinRules rules) : actor_(actor), rules_(rules) {}

    PinnedFile pin(const fs::path& file) {
        std::deque<std::string> parts = componentsOf(file);
        if (parts.empty() || parts.back() == "..") {
            failed(EISDIR);
        } else if (!enter(Fd(open(file.is_absolute() ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC)))) {
            failed(errno);
        } else {
            name_ = parts.back();
            parts.pop_back();
            todo_ = std::move(parts);
            while (walkToName() && out_.folder.fd < 0) {}
        }
        return std::move(out_);
    }

private:
    static std::deque<std::string> componentsOf(const fs::path& path) {
        std::deque<std::string> parts;
        for (const fs::path& part : path.relative_path())
            if (!part.empty() && part != ".") parts.push_back(part.string());
        return parts;
    }

    // The folders queued, then the name: false when the walk failed, else
    // done when the folder is pinned.
    bool walkToName() {
        while (!todo_.empty()) {
            const std::string next = todo_.front();
            todo_.pop_front();
            if (!step(next)) return false;
        }
        out_.inFolders = false;
        return stepToName();
    }

    // The folder reached: lookups go on from there, with its owner's rights
    // when it belongs to another user.
    bool enter(Fd folder) {
        if (folder.fd < 0 || fstat(folder.fd, &folderStat_) != 0) return false;
        if (!S_ISDIR(folderStat_.st_mode)) return errno = ENOTDIR, false;
        if (!actor_.actAsOwner(folderStat_.st_uid, folderStat_.st_gid)) return errno = EPERM, false;
        folder_ = std::move(folder);
        return true;
    }

    // One folder on the way: entered, created when missing and asked for,
    // or a link whose target goes before the rest.
    bool step(const std::string& name) {
        out_.inFolders = true;
        if (name == "..") return enter(Fd(openat(folder_.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC))) || failed(errno);
        Fd found(openIn(folder_.fd, name, O_PATH));
        if (found.fd < 0 && errno == ENOENT && rules_.makeFolders) {
            if (mkdirat(folder_.fd, name.c_str(), 0777) != 0 && errno != EEXIST) return failed(errno);
            found.reset(openIn(folder_.fd, name, O_PATH));
        }
        struct stat st {};
        if (found.fd < 0 || fstat(found.fd, &st) != 0) return failed(errno);
        if (S_ISLNK(st.st_mode)) return follow(found.fd, st, true);
        return enter(std::move(found)) || failed(errno);
    }

    // The file's own name: pinned when it is no link (or missing), else
    // the link's target takes its place.
    bool stepToName() {
        const Fd found(openIn(folder_.fd, name_, O_PATH));
        struct stat st {};
        if (found.fd >= 0 && fstat(found.fd, &st) != 0) return failed(errno);
        if (found.fd >= 0 && S_ISLNK(st.st_mode)) return follow(found.fd, st, false);
        if (found.fd < 0 && errno != ENOENT) return failed(errno);
        out_.folder = std::move(folder_);
        out_.name = name_;
        return true;
    }

    // A link on the way to the folder (root's too) or as the name.
    bool follow(int link, const struct stat& st, bool onTheWay) {
        const bool rootsOnTheWay = onTheWay && st.st_uid == 0;
        if (st.st_uid != geteuid() && st.st_uid != folderStat_.st_uid && !rootsOnTheWay)
            return failed(0, "It is a symbolic link that another user made; Lentora does not follow it.");
        if (++links_ > kMaxLinks) return failed(ELOOP);
        // Links of the name's own, and those met on the way there: a root's
        // link on the way (/bin, /var/run) says nothing about whose file it is.
        if ((!onTheWay || chained_) && !rootsOnTheWay) {
            out_.ownersDiffer = out_.ownersDiffer || (out_.viaLink && st.st_uid != out_.linkOwner);
            out_.linkOwner = st.st_uid;
            out_.viaLink = true;
        }
        chained_ = chained_ || !onTheWay;
        if (!actor_.actAsOwner(st.st_uid, st.st_gid)) return failed(EPERM);
        std::string target(std::size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = readlinkat(link, "", target.data(), target.size());
        if (n < 0 || std::size_t(n) >= target.size()) return failed(n < 0 ? errno : ENAMETOOLONG);
        target.resize(std::size_t(n));
        return queueTarget(target, onTheWay);
    }

    bool queueTarget(const fs::path& target, bool onTheWay) {
        std::deque<std::string> parts = componentsOf(target);
        if (!onTheWay) {
            if (parts.empty() || parts.back() == "..") return failed(EISDIR);
            name_ = parts.back();
            parts.pop_back();
        }
        todo_.insert(todo_.begin(), parts.begin(), parts.end());
        if (target.is_absolute() && !enter(Fd(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)))) return failed(errno);
        return true;
    }

    bool failed(int error, std::string refusal = {}) {
        out_.folder.reset(-1);
        out_.error = error;
        out_.refusal = std::move(refusal);
        return false;
    }

    ActingUser& actor_;
    const PinRules rules_;
    Fd folder_;
    struct stat folderStat_ {};
    std::deque<std::string> todo_;
    std::string name_;
    int links_ = 0;
    bool chained_ = false;  // following the name's links: every link on their way counts as theirs
    PinnedFile out_;
};

}  // namespace

PinnedFile pinFile(const fs::path& file, ActingUser& actor, PinRules rules) { return Walk(actor, rules).pin(file); }

}  // namespace platform
