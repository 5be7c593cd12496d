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
#include <thread>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr char kForeignLink[] = "It is a symbolic link that another user made; Lentora does not follow it.";
constexpr char kForeignTarget[] =
    "It is a symbolic link to a file that belongs to another user; Lentora does not write through it.";
constexpr char kLinkToOthers[] =
    "It is a symbolic link that another user made to a file that is not theirs; Lentora does not write through it.";
// A temporary file this old whose writer no longer holds its lock was left by a crash.
constexpr auto kStaleAfter = std::chrono::seconds(60);
// A copy of the program that holds the lock longer than this has hung; the save goes on without it.
constexpr auto kLockWait = std::chrono::seconds(5);

fs::path folderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// Closes the descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    void reset(int f) {
        if (fd >= 0) close(fd);
        fd = f;
    }
};

// The file a name stands for, following only links the user may trust, as
// the kernel's protection for shared folders does: the user's own links and
// those of the folder's owner.
struct Resolved {
    fs::path path;
    bool viaLink = false;
    std::string refusal;  // the reason when a link is not followed
    uid_t linkOwner = 0;  // viaLink: who made the links on the way
    bool ownersDiffer = false;
};

Resolved resolve(const fs::path& file) {
    Resolved r{file, false, {}, 0, false};
    for (int depth = 0; depth < 40; ++depth) {
        struct stat link {};
        if (lstat(r.path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return r;
        struct stat folder {};
        const fs::path dir = folderOf(r.path);
        const bool trusted =
            link.st_uid == geteuid() || (stat(dir.c_str(), &folder) == 0 && folder.st_uid == link.st_uid);
        if (!trusted) return {{}, true, kForeignLink};
        std::error_code ec;
        const fs::path target = fs::read_symlink(r.path, ec);
        if (ec) return {{}, true, ec.message()};
        r.path = target.is_absolute() ? target : dir / target;
        r.ownersDiffer = r.ownersDiffer || (r.viaLink && link.st_uid != r.linkOwner);
        r.linkOwner = link.st_uid;
        r.viaLink = true;
    }
    return {{}, true, errorText(ELOOP)};
}

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
int openForReading(const fs::path& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW); }

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

// Opens and locks the file. Another copy may have renamed a new file over
// it while this one waited; then the new file is opened and locked instead.
int openLocked(const fs::path& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = openForReading(path);
        if (fd < 0) return -1;
        lockWithin(fd, kLockWait);
        struct stat opened {
        }, named{};
        if (fstat(fd, &opened) == 0 && (stat(path.c_str(), &named) != 0 || sameFile(opened, named))) return fd;
        close(fd);
    }
    return openForReading(path);
}

std::string temporaryPrefix(const fs::path& path) { return "." + path.filename().string() + "."; }

// Serialises the saves of one file among copies of the program, also before
// the file exists: a lock on the file itself cannot cover the first save,
// which creates it. The lock is a hidden file beside it (".<name>.lock"),
// removed by whoever holds it when the save ends, so nothing stays in the
// folder; a copy that waited on a removed lock file takes the new one. Where
// the folder cannot be written there is no lock file, and none is needed: no
// copy can create the file or rename another over it there, and the lock on
// the file itself serialises the saves.
class SaveLock {
public:
    SaveLock(const fs::path& path, mode_t mode) : name_(folderOf(path) / (temporaryPrefix(path) + "lock")) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            Fd fd(openLockFile(mode));
            struct stat opened {};
            if (fd.fd < 0 || fstat(fd.fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return;
            const bool held = lockWithin(fd.fd, kLockWait);
            if (isNamed(fd.fd)) {
                std::swap(fd_.fd, fd.fd);
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
        if (held_ && isNamed(fd_.fd) && fstat(fd_.fd, &opened) == 0 && opened.st_size == 0) unlink(name_.c_str());
    }

private:
    // Read-only is enough to lock another user's lock file in a shared folder.
    int openLockFile(mode_t mode) const {
        constexpr int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        const int fd = open(name_.c_str(), O_RDWR | O_CREAT | flags, mode);
        return fd >= 0 || errno != EACCES ? fd : open(name_.c_str(), O_RDONLY | flags);
    }

    bool isNamed(int fd) const {
        struct stat opened {
        }, named{};
        return fstat(fd, &opened) == 0 && lstat(name_.c_str(), &named) == 0 && sameFile(opened, named);
    }

    fs::path name_;
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

void syncFolder(const fs::path& dir) {
    const Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd >= 0) fsync(fd.fd);  // without it only the new name may lag behind; the data is safe
}

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// One save: the file's state as read under the lock, and how to replace it.
class Save {
public:
    Save(const fs::path& file, const fs::path& path, const FileRules& rules)
        : file_(file), path_(path), rules_(rules) {}

    // The file held: nullptr when missing.
    const struct stat* old = nullptr;
    std::string oldText;

    std::optional<Failure> write(const std::string& text) {
        // A read-only file stays as it is, also for root, who may write any file.
        if (old && (faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0 || (old->st_mode & 0222) == 0))
            return fileFailure("write", file_, EACCES);
        const bool keepLinks = old && old->st_nlink > 1;
        if (rules_.inPlaceWhenNeeded && keepLinks) return writeInPlace(text);
        return writeAside(text);
    }

private:
    // The usual way: a temporary file beside the old one, renamed over it.
    std::optional<Failure> writeAside(const std::string& text) {
        const fs::path dir = folderOf(path_);
        std::string temp = (dir / (temporaryPrefix(path_) + "XXXXXX")).string();
        const Fd fd(mkostemp(temp.data(), O_CLOEXEC));
        if (fd.fd < 0) {
            const int error = errno;
            if (rules_.inPlaceWhenNeeded && old && (error == EACCES || error == EPERM)) return writeInPlace(text);
            return fileFailure("create", file_, error);
        }
        flock(fd.fd, LOCK_EX);  // in use: the clean-up of other copies leaves it alone
        if (!takeOverOwner(fd.fd)) {
            unlink(temp.c_str());
            return writeInPlace(text);
        }
        bool ok = writeAll(fd.fd, text) && fsync(fd.fd) == 0;
        int error = errno;
        if (ok && rename(temp.c_str(), path_.c_str()) != 0) ok = false, error = errno;
        if (!ok) {
            unlink(temp.c_str());
            return fileFailure("write", file_, error);
        }
        syncFolder(dir);
        return std::nullopt;
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

    // Over the old bytes. The new length is reserved first, so that a full
    // disk or a size limit fails before anything is overwritten.
    std::optional<Failure> writeInPlace(const std::string& text) {
        const Fd fd(open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (fd.fd < 0) return fileFailure("write", file_, errno);
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
        return std::nullopt;
    }

    const fs::path& file_;
    const fs::path& path_;
    const FileRules& rules_;
};

bool isTemporaryName(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

// Removes the temporary files of saves that crashed: only the program's own
// names, only the user's own files, only old ones whose lock nobody holds.
void removeLeftovers(const fs::path& path) {
    const std::string prefix = temporaryPrefix(path);
    DIR* dir = opendir(folderOf(path).c_str());
    if (!dir) return;
    const int dirFd = dirfd(dir);
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (!isTemporaryName(name, prefix) || fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const auto modified = std::chrono::system_clock::from_time_t(st.st_mtime);
        if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1 || now - modified < kStaleAfter)
            continue;
        const Fd fd(openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
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
    const Resolved target = resolve(file);
    if (!target.refusal.empty()) return fileFailure("open", file, target.refusal);
    const Fd fd(openForReading(target.path));
    if (fd.fd < 0 && missing(errno)) return FileText{};
    if (fd.fd < 0) return fileFailure("open", file, errno);
    return readOpen(fd.fd, file, maxBytes);
}

// A link is written through only to a file of whoever made every link on
// the way: the user's own links lead to the user's own files, and a link of
// the folder's owner to that owner's files (which the user must be allowed
// to write as well). Nobody can make the program write, or create, a file
// that they could not write themselves.
static std::optional<Failure> linkRefusal(const fs::path& file, const Resolved& target, const struct stat* found) {
    if (!target.viaLink) return std::nullopt;
    const bool own = target.linkOwner == geteuid();
    if (target.ownersDiffer || (!found && !own) || (found && found->st_uid != target.linkOwner))
        return fileFailure("write", file, own ? kForeignTarget : kLinkToOthers);
    return std::nullopt;
}

std::optional<Failure> updateFileSafely(const fs::path& file, const FileRules& rules, const FileEdit& edit) {
    const Resolved target = resolve(file);
    if (!target.refusal.empty()) return fileFailure("write", file, target.refusal);
    Save save(file, target.path, rules);
    const SaveLock lock(target.path, rules.newFileMode);
    const Fd fd(openLocked(target.path));
    struct stat st {};
    if (fd.fd < 0 && !missing(errno)) return unreadable(file, errno);
    if (fd.fd >= 0 && fstat(fd.fd, &st) != 0) return fileFailure("write", file, errno);
    if (auto refusal = linkRefusal(file, target, fd.fd >= 0 ? &st : nullptr)) return refusal;
    if (fd.fd >= 0) {
        if (S_ISDIR(st.st_mode)) return fileFailure("create", file, EISDIR);
        if (!S_ISREG(st.st_mode)) return fileFailure("create", file, "Not a regular file");
        Result<FileText> current = readOpen(fd.fd, file, rules.maxBytes);
        if (const Failure* failure = current.failure()) return *failure;
        if (!current->complete) return fileFailure("write", file, EFBIG);
        save.old = &st;
        save.oldText = std::move(current->text);
    }
    const Result<std::optional<std::string>> text = edit(save.oldText, save.old != nullptr);
    if (const Failure* failure = text.failure()) return *failure;
    if (!*text) return std::nullopt;
    if ((*text)->size() > rules.maxBytes) return fileFailure("write", file, EFBIG);
    std::optional<Failure> failure = save.write(**text);
    if (!failure) removeLeftovers(target.path);
    return failure;
}

}  // namespace platform
