// SPDX-License-Identifier: GPL-3.0-or-later
#include <platform/safe_file.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <utility>

#include "acting_user.h"
#include "pinned_file.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr char kForeignTarget[] =
    "It is a symbolic link to a file that belongs to another user; Lentora does not write through it.";
constexpr char kLinkToOthers[] =
    "It is a symbolic link that another user made to a file that is not theirs; Lentora does not write through it.";
constexpr char kReplaced[] = "It was replaced while Lentora saved it; nothing was written. Press Ok again.";
// A temporary file this old whose writer no longer holds its lock was left by a crash.
constexpr auto kStaleAfter = std::chrono::seconds(60);
// A copy of the program that holds the lock longer than this has hung; the save goes on without it.
constexpr auto kLockWait = std::chrono::seconds(5);
// Tries at a name another copy (or a crash) keeps taking.
constexpr int kAttempts = 100;

fs::path folderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// What could be read from an open file: at most maxBytes.
Result<FileText> readOpen(int fd, const fs::path& file, std::size_t maxBytes) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return fileFailure("read", file, errno);
    if (S_ISDIR(st.st_mode)) return fileFailure("open", file, EISDIR);
    if (!S_ISREG(st.st_mode)) return fileFailure("open", file, "Not a regular file");
    FileText result{true, {}, true};
    char buffer[65536];
    while (result.text.size() <= maxBytes) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fileFailure("read", file, errno);
        if (n == 0) return result;
        result.text.append(buffer, std::size_t(n));
    }
    result.text.resize(maxBytes);
    result.complete = false;
    return result;
}

// O_NONBLOCK: a FIFO in the file's place must not hang the program.
int openForReading(const PinnedFile& pinned) { return openIn(pinned.folder.fd, pinned.name, O_RDONLY | O_NONBLOCK); }

bool missing(int error) { return error == ENOENT || error == ENOTDIR; }

// Waits for the lock of other copies of the program, for a while. True
// when it is held.
bool lockWithin(int fd, std::chrono::steady_clock::duration limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the open file still has that name in the folder (or, when allowed, none).
bool isNamed(int fd, int folder, const std::string& name, bool orGone = false) {
    struct stat opened {
    }, named{};
    if (fstat(fd, &opened) != 0) return false;
    if (fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) return orGone && errno == ENOENT;
    return sameFile(opened, named);
}

// Opens and locks the file. Another copy may have renamed a new file over
// it while this one waited; then the new file is opened and locked instead.
int openLocked(const PinnedFile& pinned) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Fd fd(openForReading(pinned));
        if (fd.fd < 0) return -1;
        lockWithin(fd.fd, kLockWait);
        if (isNamed(fd.fd, pinned.folder.fd, pinned.name, true)) return std::exchange(fd.fd, -1);
    }
    return openForReading(pinned);
}

std::string temporaryPrefix(const std::string& name) { return "." + name + "."; }

// Serialises the saves of one file among copies of the program, also before
// the file exists: a lock on the file itself cannot cover the first save,
// which creates it. The lock is a hidden file beside it (".<name>.lock"),
// removed by whoever holds it when the save ends, so nothing stays in the
// folder; a copy that waited on a removed lock file takes the new one. Where
// the folder cannot be written there is no lock file, and none is needed: no
// copy can create the file or rename another over it there, and the lock on
// the file itself serialises the saves. It is made only in the pinned folder,
// once the save is accepted.
class SaveLock {
public:
    SaveLock(const PinnedFile& pinned, mode_t mode) : folder_(pinned.folder.fd), name_("." + pinned.name + ".lock") {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            Fd fd(openLockFile(mode));
            struct stat opened {};
            if (fd.fd < 0 || fstat(fd.fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return;
            const bool held = lockWithin(fd.fd, kLockWait);
            if (isNamed(fd.fd, folder_, name_)) {
                fd_ = std::move(fd);
                held_ = held;
                return;
            }
        }
    }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    // A file of that name with something in it was not made by the program: it stays.
    ~SaveLock() {
        struct stat opened {};
        if (held_ && isNamed(fd_.fd, folder_, name_) && fstat(fd_.fd, &opened) == 0 && opened.st_size == 0)
            unlinkat(folder_, name_.c_str(), 0);
    }

private:
    // Read-only is enough to lock another user's lock file in a shared folder.
    int openLockFile(mode_t mode) const {
        const int fd = openIn(folder_, name_, O_RDWR | O_CREAT | O_NONBLOCK, mode);
        return fd >= 0 || errno != EACCES ? fd : openIn(folder_, name_, O_RDONLY | O_NONBLOCK);
    }

    int folder_;
    std::string name_;
    Fd fd_;
    bool held_ = false;
};

bool writeAll(int fd, const std::string& text, off_t offset = -1) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = offset < 0 ? write(fd, text.data() + done, text.size() - done)
                                     : pwrite(fd, text.data() + done, text.size() - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

void syncFolder(int folder) {
    const Fd fd(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd >= 0) fsync(fd.fd);  // without it only the new name may lag behind; the data is safe
}

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Whether the thread may write the open file, with the rights it has now.
bool mayWrite(int fd) {
    if (faccessat(fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // Kernels before 5.8 check no descriptor: opening it again through /proc does.
    const Fd again(open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    return again.fd >= 0;
}

// Six letters or digits after the prefix, as mkostemp makes them: the
// clean-up of leftovers knows the program's temporary files by that.
std::string temporaryName(const std::string& name) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::string temp = temporaryPrefix(name);
    for (int i = 0; i < 6; ++i) temp += kLetters[random() % (sizeof kLetters - 1)];
    return temp;
}

// One save: the file's state as read under the lock, and how to replace it,
// every step in the pinned folder.
class Save {
public:
    Save(const fs::path& file, const PinnedFile& pinned, const FileRules& rules)
        : file_(file), folder_(pinned.folder.fd), name_(pinned.name), rules_(rules) {}

    // The file held: nullptr and -1 when missing.
    const struct stat* old = nullptr;
    int oldFd = -1;
    std::string oldText;

    Result<> write(const std::string& text) {
        // A read-only file stays as it is, also for root, who may write any file.
        if (old && (!mayWrite(oldFd) || (old->st_mode & 0222) == 0)) return fileFailure("write", file_, EACCES);
        const bool keepLinks = old && old->st_nlink > 1;
        if (rules_.inPlaceWhenNeeded && keepLinks) return writeInPlace(text);
        return writeAside(text);
    }

private:
    // The usual way: a temporary file beside the old one, renamed over it.
    Result<> writeAside(const std::string& text) {
        std::string temp;
        Fd fd;
        for (int attempt = 0; attempt < kAttempts && fd.fd < 0; ++attempt) {
            temp = temporaryName(name_);
            fd.reset(openIn(folder_, temp, O_RDWR | O_CREAT | O_EXCL, 0600));
            if (fd.fd < 0 && errno != EEXIST) break;
        }
        if (fd.fd < 0) {
            const int error = errno;
            if (rules_.inPlaceWhenNeeded && old && (error == EACCES || error == EPERM)) return writeInPlace(text);
            return fileFailure("create", file_, error);
        }
        flock(fd.fd, LOCK_EX);  // in use: the clean-up of other copies leaves it alone
        if (!takeOverOwner(fd.fd)) {
            unlinkat(folder_, temp.c_str(), 0);
            return writeInPlace(text);
        }
        bool ok = writeAll(fd.fd, text) && fsync(fd.fd) == 0;
        int error = errno;
        if (ok && renameat(folder_, temp.c_str(), folder_, name_.c_str()) != 0) ok = false, error = errno;
        if (!ok) {
            unlinkat(folder_, temp.c_str(), 0);
            return fileFailure("write", file_, error);
        }
        syncFolder(folder_);
        return done();
    }

    // Gives the temporary file the old file's mode and owner. False when
    // the owner cannot be kept and an in-place rewrite may keep it instead.
    bool takeOverOwner(int fd) const {
        if (!old) {
            fchmod(fd, rules_.newFileMode & ~currentUmask());
            return true;
        }
        fchmod(fd, old->st_mode & 07777);
        struct stat made {};
        if (fstat(fd, &made) != 0 || (made.st_uid == old->st_uid && made.st_gid == old->st_gid)) return true;
        if (fchown(fd, old->st_uid, old->st_gid) == 0) {
            fchmod(fd, old->st_mode & 07777);  // a change of owner clears set-id bits
            return true;
        }
        return !rules_.inPlaceWhenNeeded;
    }

    // Over the old bytes, of the very file that was read. The new length is
    // reserved first, so that a full disk or a size limit fails before
    // anything is overwritten.
    Result<> writeInPlace(const std::string& text) {
        const Fd fd(openIn(folder_, name_, O_WRONLY | O_NONBLOCK));
        if (fd.fd < 0) return fileFailure("write", file_, errno);
        struct stat opened {};
        if (!old || fstat(fd.fd, &opened) != 0 || !sameFile(opened, *old))
            return fileFailure("write", file_, kReplaced);
        const off_t oldSize = off_t(oldText.size());
        if (off_t(text.size()) > oldSize) {
            if (const int error = posix_fallocate(fd.fd, 0, off_t(text.size())); error != 0) {
                if (ftruncate(fd.fd, oldSize) != 0) {}  // undo a partly grown file; its old bytes are untouched
                return fileFailure("write", file_, error);
            }
        }
        if (!writeAll(fd.fd, text, 0) || ftruncate(fd.fd, off_t(text.size())) != 0 || fsync(fd.fd) != 0) {
            const int error = errno;
            if (writeAll(fd.fd, oldText, 0) && ftruncate(fd.fd, oldSize) == 0) fsync(fd.fd);
            return fileFailure("write", file_, error);
        }
        return done();
    }

    const fs::path& file_;
    const int folder_;
    const std::string& name_;
    const FileRules& rules_;
};

bool isTemporaryName(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Removes the temporary files of saves that crashed: only the program's own
// names, only files of whom the save acts for, only old ones whose lock
// nobody holds.
void removeLeftovers(const PinnedFile& pinned, uid_t owner) {
    const std::string prefix = temporaryPrefix(pinned.name);
    const int listing = openat(pinned.folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0) close(listing);
        return;
    }
    const int dirFd = dirfd(dir);
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (!isTemporaryName(name, prefix) || fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const auto modified = std::chrono::system_clock::from_time_t(st.st_mtime);
        if (!S_ISREG(st.st_mode) || st.st_uid != owner || st.st_nlink != 1 || now - modified < kStaleAfter) continue;
        const Fd fd(openIn(dirFd, name, O_RDONLY | O_NONBLOCK));
        if (fd.fd >= 0 && flock(fd.fd, LOCK_EX | LOCK_NB) == 0) unlinkat(dirFd, name.c_str(), 0);
    }
    closedir(dir);
}

// A file that could not be read is not replaced: what it holds would be lost.
Failure unreadable(const fs::path& file, int error) {
    return fileFailure("write", file,
                       "It cannot be read (" + errorText(error) + "), and replacing it would lose what it holds.",
                       error);
}

// Why the file's folder or name could not be pinned, for a save.
Failure pinFailure(const fs::path& file, const PinnedFile& pinned, const FileRules& rules) {
    if (!pinned.refusal.empty()) return fileFailure("write", file, pinned.refusal);
    if (rules.makeFolders && pinned.inFolders)
        return {"Cannot create folder \"" + folderOf(file).string() + "\". " + errorText(pinned.error), pinned.error};
    return fileFailure(pinned.inFolders ? "create" : "write", file, pinned.error);
}

// A link is written through only to a file of whoever made every link on
// the way: the user's own links lead to the user's own files, and a link of
// the folder's owner to that owner's files (which the user must be allowed
// to write as well). Nobody can make the program write, or create, a file
// that they could not write themselves.
Result<> linkAllowed(const fs::path& file, const PinnedFile& target, const struct stat* found) {
    if (!target.viaLink) return done();
    const bool own = target.linkOwner == geteuid();
    if (target.ownersDiffer || (!found && !own) || (found && found->st_uid != target.linkOwner))
        return fileFailure("write", file, own ? kForeignTarget : kLinkToOthers);
    return done();
}

// What stands at the pinned name, as opened (fd, or -1 with errno): a failure
// when it must not be read or replaced.
Result<> mayUse(const fs::path& file, const PinnedFile& pinned, int fd, struct stat& st) {
    if (fd < 0 && !missing(errno)) return unreadable(file, errno);
    if (fd >= 0 && fstat(fd, &st) != 0) return fileFailure("write", file, errno);
    return linkAllowed(file, pinned, fd >= 0 ? &st : nullptr);
}

}  // namespace

std::string fileMessage(const char* verb, const fs::path& file, const std::string& reason) {
    return std::string("Cannot ") + verb + " file \"" + file.string() + "\". " + reason;
}

Failure fileFailure(const char* verb, const fs::path& file, int error) {
    return {fileMessage(verb, file, errorText(error)), error};
}

Failure fileFailure(const char* verb, const fs::path& file, const std::string& reason, int error) {
    return {fileMessage(verb, file, reason), error};
}

Result<FileText> readFileSafely(const fs::path& file, std::size_t maxBytes) {
    ActingUser actor;
    const PinnedFile pinned = pinFile(file, actor);
    if (!pinned.refusal.empty()) return fileFailure("open", file, pinned.refusal);
    if (pinned.folder.fd < 0 && missing(pinned.error)) return FileText{};
    if (pinned.folder.fd < 0) return fileFailure("open", file, pinned.error);
    const Fd fd(openForReading(pinned));
    if (fd.fd < 0 && missing(errno)) return FileText{};
    if (fd.fd < 0) return fileFailure("open", file, errno);
    return readOpen(fd.fd, file, maxBytes);
}

Result<> updateFileSafely(const fs::path& file, const FileRules& rules, const FileEdit& edit) {
    ActingUser actor;  // every step below with the rights of whom the save acts for
    const PinnedFile pinned = pinFile(file, actor, {rules.makeFolders});
    if (pinned.folder.fd < 0) return pinFailure(file, pinned, rules);
    struct stat st {};
    // A link is judged before anything is made: a refused save leaves no
    // lock file beside its target, nor takes one away.
    if (pinned.viaLink) {
        const Fd look(openForReading(pinned));
        if (auto allowed = mayUse(file, pinned, look.fd, st); !allowed) return allowed;
    }
    Save save(file, pinned, rules);
    const SaveLock lock(pinned, rules.newFileMode);
    const Fd fd(openLocked(pinned));
    if (auto allowed = mayUse(file, pinned, fd.fd, st); !allowed) return allowed;
    if (fd.fd >= 0) {
        if (S_ISDIR(st.st_mode)) return fileFailure("create", file, EISDIR);
        if (!S_ISREG(st.st_mode)) return fileFailure("create", file, "Not a regular file");
        Result<FileText> current = readOpen(fd.fd, file, rules.maxBytes);
        if (const Failure* failure = current.failure()) return *failure;
        if (!current->complete) return fileFailure("write", file, EFBIG);
        save.old = &st;
        save.oldFd = fd.fd;
        save.oldText = std::move(current->text);
    }
    const Result<std::optional<std::string>> text = edit(save.oldText, save.old != nullptr);
    if (const Failure* failure = text.failure()) return *failure;
    if (!*text) return done();
    if ((*text)->size() > rules.maxBytes) return fileFailure("write", file, EFBIG);
    auto written = save.write(**text);
    if (written) removeLeftovers(pinned, actor.uid());
    return written;
}

}  // namespace platform
