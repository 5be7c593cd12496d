// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_machine_registry.h"

#include <stdexcept>

namespace platform {

bool FakeMachineRegistry::openProcessorKey() {
    journal.emplace_back("open");
    open_ = values_.has_value();
    return open_;
}

std::optional<uint32_t> FakeMachineRegistry::readDword(const std::string& name) {
    journal.push_back("read " + name);
    if (failReads) throw std::runtime_error("registry access failed");
    if (!open_) return std::nullopt;
    auto found = values_->find(name);
    if (found == values_->end()) return std::nullopt;
    return found->second;
}

void FakeMachineRegistry::closeKey() {
    journal.emplace_back("close");
    open_ = false;
}

std::unique_ptr<FakeMachineRegistry> fakeMachineRegistry(std::optional<std::map<std::string, uint32_t>> values) {
    return std::make_unique<FakeMachineRegistry>(std::move(values));
}

}  // namespace platform
