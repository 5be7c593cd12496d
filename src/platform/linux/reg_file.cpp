// The per-user store kept in one .reg file. The file is read again at every
// access, because another copy of the program may have written it; every
// change rewrites it through a temporary file that is renamed over it, so a
// crash never leaves half a file behind.
#include <platform/registry.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "reg_format.h"

namespace platform {

namespace {

// More than this is not a store the program wrote; the rest counts as missing.
constexpr size_t kReadLimit = size_t(1) << 20;

std::string reason(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " '" + path.string() + "': " + std::strerror(error);
}

struct FileText {
    bool ok = true;  // false: the file exists but cannot be read
    std::string text;
    std::string error;
    mode_t mode = 0600;
};

bool readAll(int fd, std::string& text) {
    char buffer[65536];
    while (text.size() <= kReadLimit) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buffer, size_t(n));
    }
    // Cut at the limit and drop the line the cut went through.
    text.resize(kReadLimit);
    const size_t lastLine = text.rfind('\n');
    text.resize(lastLine == std::string::npos ? 0 : lastLine + 1);
    return true;
}

FileText readCapped(const std::filesystem::path& file) {
    FileText result;
    // O_NONBLOCK: a FIFO in the file's place must not hang the program.
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) result = {false, {}, reason("Cannot open", file, errno)};
        return result;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        result = {false, {}, reason("Cannot read", file, errno)};
    } else if (!S_ISREG(st.st_mode)) {
        result = {false, {}, reason("Cannot read", file, S_ISDIR(st.st_mode) ? EISDIR : EINVAL)};
    } else if (!readAll(fd, result.text)) {
        result = {false, {}, reason("Cannot read", file, errno)};
    }
    result.mode = st.st_mode & 07777;
    close(fd);
    return result;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

void syncDirectory(const std::filesystem::path& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the file itself is safe; only its name may lag behind
    fsync(fd);
    close(fd);
}

std::filesystem::path directoryOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

bool ensureDirectory(const std::filesystem::path& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!ec) return true;
    error = "Cannot create '" + dir.string() + "': " + ec.message();
    return false;
}

// Writes text to a temporary file beside `file`, then renames it over `file`.
bool replaceFile(const std::filesystem::path& file, const std::string& text, mode_t mode,
                 std::string& error) {
    const std::filesystem::path dir = directoryOf(file);
    if (!ensureDirectory(dir, error)) return false;
    std::string temp = (dir / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = reason("Cannot create a file in", dir, errno);
        return false;
    }
    fchmod(fd, mode);
    bool ok = writeAll(fd, text) && fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) ok = false, saved = errno;
    if (ok && rename(temp.c_str(), file.c_str()) != 0) ok = false, saved = errno;
    if (!ok) {
        unlink(temp.c_str());
        error = reason("Cannot write", file, saved);
        return false;
    }
    syncDirectory(dir);
    return true;
}

class RegFile final : public UserRegistry {
public:
    explicit RegFile(std::filesystem::path file) : file_(std::move(file)) {}

    bool createKey(const std::string& key) override {
        return change(key, {}, [&](reg::Document& d) {
            if (d.find(key)) return false;
            d.ensure(key);
            return true;
        });
    }

    std::optional<uint32_t> readDword(const std::string& key, const std::string& name) override {
        const reg::Document document = load().second;
        const reg::Data* data = document.value(key, name);
        if (const auto* number = data ? std::get_if<uint32_t>(data) : nullptr) return *number;
        return std::nullopt;
    }

    std::optional<std::string> readString(const std::string& key, const std::string& name) override {
        const reg::Document document = load().second;
        const reg::Data* data = document.value(key, name);
        if (const auto* text = data ? std::get_if<std::string>(data) : nullptr) return *text;
        return std::nullopt;
    }

    bool writeDword(const std::string& key, const std::string& name, uint32_t value) override {
        return writeValue(key, name, value);
    }

    bool writeString(const std::string& key, const std::string& name,
                     const std::string& value) override {
        if (!reg::fitsOnOneLine(value)) {
            lastError_ = "A value holding a line break or NUL cannot be stored";
            return false;
        }
        return writeValue(key, name, value);
    }

    std::string lastError() const override { return lastError_; }

private:
    // The values that could be read, and the file's text and mode.
    std::pair<FileText, reg::Document> load() {
        FileText file = readCapped(file_);
        if (!file.ok) lastError_ = file.error;
        reg::Document document = reg::parseRegText(file.text);
        return {std::move(file), std::move(document)};
    }

    bool writeValue(const std::string& key, const std::string& name, reg::Data data) {
        return change(key, name, [&](reg::Document& d) {
            d.set(key, name, std::move(data));
            return true;
        });
    }

    // Applies edit to the stored values and writes them back when it says
    // something changed.
    template <class Edit>
    bool change(const std::string& key, const std::string& name, Edit edit) {
        lastError_.clear();
        if (!reg::fitsOnOneLine(key) || !reg::fitsOnOneLine(name)) {
            lastError_ = "A key or value name holding a line break or NUL cannot be stored";
            return false;
        }
        auto [file, document] = load();
        // A file that exists but cannot be read is not replaced: its values would be lost.
        if (!file.ok) return false;
        if (!edit(document)) return ensureDirectory(directoryOf(file_), lastError_);
        const std::string text = reg::formatRegText(document);
        // A store longer than what is read back would lose its end, where a
        // new value goes: refuse rather than report a lost write as stored.
        if (text.size() > kReadLimit) {
            lastError_ = reason("Cannot write", file_, EFBIG);
            return false;
        }
        return replaceFile(file_, text, file.mode, lastError_);
    }

    std::filesystem::path file_;
    std::string lastError_;
};

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

}  // namespace

std::unique_ptr<UserRegistry> openRegFile(const std::filesystem::path& file) {
    return std::make_unique<RegFile>(file);
}

std::filesystem::path defaultUserRegistryPath() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path base =
        (config && *config == '/') ? std::filesystem::path(config) : homeDirectory() / ".config";
    return base / "lentora" / "registry.reg";
}

}  // namespace platform
