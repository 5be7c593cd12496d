// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh folder of the test's own under the system's temporary folder,
// removed with everything in it when the object goes.
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

class TempDir {
public:
    // The name starts with "lentora-<what>-". Throws when no folder can be
    // made, so a test fails with the reason instead of writing elsewhere.
    explicit TempDir(const std::string& what = "test") {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / ("lentora-" + what + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder like " + pattern);
        // Canonical, as the program reports the paths it was given resolved.
        path_ = fs::canonical(pattern);
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        // Tests take rights away from folders in here (a read-only store's
        // folder); the owner gets them back so that nothing is left behind.
        std::error_code ec, entryEc;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
            if (!it->is_symlink(entryEc) && it->is_directory(entryEc))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, entryEc);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};
