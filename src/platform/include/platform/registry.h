// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user store (a text file in the Windows .reg format) and the
// machine's read-only processor key (made from /proc/cpuinfo).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

class UserRegistry {
public:
    virtual ~UserRegistry() = default;
    // Opens key, creating it when missing. Nothing when done, else why it could not be created.
    virtual Result<> createKey(const std::string& key) = 0;
    // The value when it exists and is a REG_DWORD; otherwise (a store that
    // cannot be read too) nothing.
    virtual std::optional<uint32_t> readDword(const std::string& key, const std::string& name) = 0;
    virtual std::optional<std::string> readString(const std::string& key, const std::string& name) = 0;
    // Nothing when the value was stored, else why not.
    virtual Result<> writeDword(const std::string& key, const std::string& name, uint32_t value) = 0;
    virtual Result<> writeString(const std::string& key, const std::string& name, const std::string& value) = 0;
};

// The store kept in one .reg file; every write rewrites the file atomically.
std::unique_ptr<UserRegistry> openRegFile(const std::filesystem::path& file);
// $XDG_CONFIG_HOME/lentora/registry.reg (XDG_CONFIG_HOME defaults to ~/.config).
std::filesystem::path defaultUserRegistryPath();

class MachineRegistry {
public:
    virtual ~MachineRegistry() = default;
    // Opens the first processor's key; false when it cannot be opened.
    virtual bool openProcessorKey() = 0;
    // A REG_DWORD value of the open key; nothing when missing or of another type.
    virtual std::optional<uint32_t> readDword(const std::string& name) = 0;
    virtual void closeKey() = 0;
};

// "~MHz" is the "cpu MHz" of processor 0 in the given cpuinfo file.
std::unique_ptr<MachineRegistry> cpuinfoRegistry(const std::filesystem::path& cpuinfo = "/proc/cpuinfo");

}  // namespace platform
