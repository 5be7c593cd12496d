// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A machine key held in memory, for tests. It keeps a journal of what it was
// asked ("open", "read NAME", "close"); `failReads` makes every read throw,
// as a failing registry access would.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace platform {

class FakeMachineRegistry final : public MachineRegistry {
public:
    // The key's DWORD values; none: the key cannot be opened.
    explicit FakeMachineRegistry(std::optional<std::map<std::string, uint32_t>> values) : values_(std::move(values)) {}

    std::vector<std::string> journal;
    bool failReads = false;

    bool openProcessorKey() override;
    std::optional<uint32_t> readDword(const std::string& name) override;
    void closeKey() override;

private:
    std::optional<std::map<std::string, uint32_t>> values_;
    bool open_ = false;
};

std::unique_ptr<FakeMachineRegistry> fakeMachineRegistry(std::optional<std::map<std::string, uint32_t>> values);

}  // namespace platform
