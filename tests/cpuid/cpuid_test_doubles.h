#pragma once
// A scripted clock and a registry that records what it was asked, for
// driving TCPUID in tests.
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_processor.h"
#include "platform/registry.h"

// performanceCounter() and tickCount() return their next value and then
// advance by a step, so every busy wait ends after a known number of reads.
class ScriptedClock final : public platform::Clock {
public:
    int64_t frequency = 0;  // 0: no performance counter
    int64_t counter = 0;
    int64_t counterStep = 0;
    uint32_t tick = 0;
    uint32_t tickStep = 1;

    int frequencyReads = 0, counterReads = 0, tickReads = 0;
    uint32_t lastTick = 0;

    platform::TimeOfDay localTime() override { return {}; }
    platform::TimeOfDay systemTime() override { return {}; }
    uint32_t tickCount() override {
        ++tickReads;
        lastTick = tick;
        tick += tickStep;
        return lastTick;
    }
    int64_t performanceFrequency() override {
        ++frequencyReads;
        return frequency;
    }
    int64_t performanceCounter() override {
        ++counterReads;
        int64_t now = counter;
        counter += counterStep;
        return now;
    }
    void sleep(uint32_t) override {}
};

// Forwards to a machine registry and keeps a journal: "open", "read NAME",
// "close". `failAfterOpen` makes every read throw, as a failing registry
// access would.
class RecordingRegistry final : public platform::MachineRegistry {
public:
    explicit RecordingRegistry(std::unique_ptr<platform::MachineRegistry> inner) : inner_(std::move(inner)) {}

    std::vector<std::string> journal;
    bool failReads = false;

    bool openProcessorKey() override {
        journal.emplace_back("open");
        return inner_->openProcessorKey();
    }
    std::optional<uint32_t> readDword(const std::string& name) override {
        journal.push_back("read " + name);
        if (failReads)
            throw std::runtime_error("registry access failed");
        return inner_->readDword(name);
    }
    void closeKey() override {
        journal.emplace_back("close");
        inner_->closeKey();
    }

private:
    std::unique_ptr<platform::MachineRegistry> inner_;
};

inline RecordingRegistry registryWith(std::optional<std::map<std::string, uint32_t>> values) {
    return RecordingRegistry(platform::fakeMachineRegistry(std::move(values)));
}

// Leaf-1 EDX bits.
inline constexpr uint32_t kFpuBit = 1u << 0;
inline constexpr uint32_t kTscBit = 1u << 4;
inline constexpr uint32_t kApicBit = 1u << 9;

// "GenuineIntel" as leaf 0 really returns it.
inline constexpr platform::CpuidRegisters kGenuineIntel{1, 0x756E6547, 0x6C65746E, 0x49656E69};

// A processor with CPUID: leaf 1 EAX/EDX as given, leaf 0 "GenuineIntel".
inline void giveCpuid(platform::FakeProcessor& processor, uint32_t eax, uint32_t edx) {
    processor.setIdFlagToggles(true);
    processor.setLeaf(1, {eax, 0, 0, edx});
    processor.setLeaf(0, kGenuineIntel);
}
