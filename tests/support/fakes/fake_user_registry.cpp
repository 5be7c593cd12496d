// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store held in memory, with the same rules as the .reg file:
// typed values, case-insensitive names, keys created on demand.
#include "fakes/fake_user_registry.h"

#include <cerrno>
#include <cstring>

#include "reg_document.h"

namespace platform {

namespace {

class MemoryStore final : public FakeUserRegistry {
public:
    explicit MemoryStore(bool failWrites) : failWrites_(failWrites) {}

    void setFailWrites(bool fail) override { failWrites_ = fail; }

    bool createKey(const std::string& key) override {
        lastError_.clear();
        if (document_.find(key)) return true;
        if (!writable(key, {}, {})) return false;
        document_.ensure(key);
        return true;
    }

    std::optional<uint32_t> readDword(const std::string& key, const std::string& name) override {
        const reg::Data* data = document_.value(key, name);
        if (const auto* number = data ? std::get_if<uint32_t>(data) : nullptr) return *number;
        return std::nullopt;
    }

    std::optional<std::string> readString(const std::string& key, const std::string& name) override {
        const reg::Data* data = document_.value(key, name);
        if (const auto* text = data ? std::get_if<std::string>(data) : nullptr) return *text;
        return std::nullopt;
    }

    bool writeDword(const std::string& key, const std::string& name, uint32_t value) override {
        lastError_.clear();
        if (!writable(key, name, {})) return false;
        document_.set(key, name, value);
        return true;
    }

    bool writeString(const std::string& key, const std::string& name, const std::string& value) override {
        lastError_.clear();
        if (!writable(key, name, value)) return false;
        document_.set(key, name, value);
        return true;
    }

    std::string lastError() const override { return lastError_; }

private:
    // The same refusals as the file store, so tests see the same behaviour.
    bool writable(const std::string& key, const std::string& name, const std::string& value) {
        if (!reg::fitsOnOneLine(key) || !reg::fitsOnOneLine(name) || !reg::fitsOnOneLine(value)) {
            lastError_ = "A name or value holding a line break or NUL cannot be stored";
            return false;
        }
        if (failWrites_) lastError_ = std::strerror(ENOSPC);
        return !failWrites_;
    }

    reg::Document document_;
    bool failWrites_;
    std::string lastError_;
};

}  // namespace

std::unique_ptr<FakeUserRegistry> fakeUserRegistry(bool failWrites) {
    return std::make_unique<MemoryStore>(failWrites);
}

}  // namespace platform
