// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store kept in one .reg file. The file is read again at every
// access, because another copy of the program may have written it; every
// change goes through the program's safe rewrite (a lock, a fresh read, a
// temporary file renamed over the old one), so a crash never leaves half a
// file behind, and only the line of the value written changes.
#include <platform/registry.h>
#include <platform/safe_file.h>

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>

#include "reg_format.h"

namespace platform {

namespace {

// More than this is not a store the program wrote: what lies beyond reads
// as missing, and such a file is not rewritten (its end would be lost).
constexpr size_t kReadLimit = size_t(1) << 20;

class RegFile final : public UserRegistry {
public:
    explicit RegFile(std::filesystem::path file) : file_(std::move(file)) {}

    Result<> createKey(const std::string& key) override {
        return change(key, {}, [&](const std::string& text) -> std::optional<std::string> {
            if (reg::parseRegText(text).find(key)) return std::nullopt;
            return reg::addKeyToText(text, key);
        });
    }

    std::optional<uint32_t> readDword(const std::string& key, const std::string& name) override {
        const reg::Document document = load();
        const reg::Data* data = document.value(key, name);
        if (const auto* number = data ? std::get_if<uint32_t>(data) : nullptr) return *number;
        return std::nullopt;
    }

    std::optional<std::string> readString(const std::string& key, const std::string& name) override {
        const reg::Document document = load();
        const reg::Data* data = document.value(key, name);
        if (const auto* text = data ? std::get_if<std::string>(data) : nullptr) return *text;
        return std::nullopt;
    }

    Result<> writeDword(const std::string& key, const std::string& name, uint32_t value) override {
        return writeValue(key, name, value);
    }

    Result<> writeString(const std::string& key, const std::string& name, const std::string& value) override {
        if (!reg::fitsOnOneLine(value)) return Failure{"A value holding a line break or NUL cannot be stored"};
        return writeValue(key, name, value);
    }

private:
    // The values that can be read; a longer file is read up to its last
    // whole line within the limit, one that cannot be read holds none.
    reg::Document load() {
        Result<FileText> file = readFileSafely(file_, kReadLimit);
        if (!file) return {};
        if (!file->complete) file->text.resize(file->text.rfind('\n') + 1);  // npos + 1 == 0
        return reg::parseRegText(file->text);
    }

    Result<> writeValue(const std::string& key, const std::string& name, reg::Data data) {
        return change(key, name, [&](const std::string& text) -> std::optional<std::string> {
            return reg::setValueInText(text, key, name, data);
        });
    }

    template <class Edit>
    Result<> change(const std::string& key, const std::string& name, Edit edit) {
        if (!reg::fitsOnOneLine(key) || !reg::fitsOnOneLine(name))
            return Failure{"A key or value name holding a line break or NUL cannot be stored"};
        // The folders too are made on the way, by descriptor, as the save's own steps.
        return updateFileSafely(file_, {kReadLimit, 0600, false, true}, [&](const std::string& text, bool) {
            return Result<std::optional<std::string>>(edit(text));
        });
    }

    std::filesystem::path file_;
};

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

}  // namespace

std::unique_ptr<UserRegistry> openRegFile(const std::filesystem::path& file) { return std::make_unique<RegFile>(file); }

std::filesystem::path defaultUserRegistryPath() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path base =
        (config && *config == '/') ? std::filesystem::path(config) : homeDirectory() / ".config";
    return base / "lentora" / "registry.reg";
}

}  // namespace platform
