// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store held in memory, with the same rules as the .reg file:
// typed values, case-insensitive names, keys created on demand.
#include "fakes/fake_user_registry.h"

#include <cerrno>

#include "reg_document.h"

namespace platform {

namespace {

class MemoryStore final : public FakeUserRegistry {
public:
    explicit MemoryStore(bool failWrites) : failWrites_(failWrites) {}

    void setFailWrites(bool fail) override { failWrites_ = fail; }

    Result<> createKey(const std::string& key) override {
        if (document_.find(key)) return done();
        if (auto allowed = mayStore(key, {}, {}); !allowed) return allowed;
        document_.ensure(key);
        return done();
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

    Result<> writeDword(const std::string& key, const std::string& name, uint32_t value) override {
        if (auto allowed = mayStore(key, name, {}); !allowed) return allowed;
        document_.set(key, name, value);
        return done();
    }

    Result<> writeString(const std::string& key, const std::string& name, const std::string& value) override {
        if (auto allowed = mayStore(key, name, value); !allowed) return allowed;
        document_.set(key, name, value);
        return done();
    }

private:
    // The same refusals as the file store, so tests see the same behaviour.
    Result<> mayStore(const std::string& key, const std::string& name, const std::string& value) const {
        if (!reg::fitsOnOneLine(key) || !reg::fitsOnOneLine(name) || !reg::fitsOnOneLine(value))
            return Failure{"A name or value holding a line break or NUL cannot be stored"};
        if (failWrites_) return systemFailure(ENOSPC);
        return done();
    }

    reg::Document document_;
    bool failWrites_;
};

}  // namespace

std::unique_ptr<FakeUserRegistry> fakeUserRegistry(bool failWrites) {
    return std::make_unique<MemoryStore>(failWrites);
}

}  // namespace platform
