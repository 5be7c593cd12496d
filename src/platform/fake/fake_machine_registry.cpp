// A machine key held in memory, for tests.
#include "platform/registry.h"

namespace platform {

namespace {

class FakeMachineRegistry final : public MachineRegistry {
public:
    explicit FakeMachineRegistry(std::optional<std::map<std::string, uint32_t>> values)
        : values_(std::move(values)) {}

    bool openProcessorKey() override {
        open_ = values_.has_value();
        return open_;
    }

    std::optional<uint32_t> readDword(const std::string& name) override {
        if (!open_)
            return std::nullopt;
        auto found = values_->find(name);
        if (found == values_->end())
            return std::nullopt;
        return found->second;
    }

    void closeKey() override { open_ = false; }

private:
    std::optional<std::map<std::string, uint32_t>> values_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<MachineRegistry> fakeMachineRegistry(std::optional<std::map<std::string, uint32_t>> values) {
    return std::make_unique<FakeMachineRegistry>(std::move(values));
}

}  // namespace platform
