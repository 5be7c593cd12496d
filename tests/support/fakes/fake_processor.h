// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted processor for tests: CPUID leaves, the ID-flag probe, the class
// tests and the time-stamp counter are set up front, and every call is counted.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/processor.h"

namespace platform {

// Leaf-0 registers carrying the 12 vendor bytes (EBX, EDX, ECX, each least
// significant byte first) and the highest leaf in EAX.
CpuidRegisters vendorLeaf(std::string_view twelveBytes, uint32_t highestLeaf = 1);

class FakeProcessor final : public Processor {
public:
    // A processor without CPUID, without a counter, all class tests negative.
    FakeProcessor() = default;

    // Scripting.
    void setIdFlagToggles(bool toggles) { idFlagToggles_ = toggles; }
    void setLeaf(uint32_t leaf, CpuidRegisters registers) { leaves_[leaf] = registers; }
    void setClassTests(bool is8086, bool is80286, bool is80386);
    // No counter: readTimeStamp gives nothing.
    // A counter that returns `values` in order, then counts on from `next`
    // by `step` per reading.
    void setTimeStamps(std::vector<uint64_t> values, uint64_t next = 0, uint64_t step = 0);

    // What was asked: each call appends "idflag", "cpuid N", "rdtsc",
    // "8086", "80286" or "80386" (a failed rdtsc too).
    const std::vector<std::string>& calls() const { return calls_; }
    std::size_t count(std::string_view call) const;

    bool idFlagToggles() override { return asked("idflag", idFlagToggles_); }
    CpuidRegisters cpuid(uint32_t leaf) override;
    std::optional<uint64_t> readTimeStamp() override;
    bool test8086() override { return asked("8086", is8086_); }
    bool test80286() override { return asked("80286", is80286_); }
    bool test80386() override { return asked("80386", is80386_); }

private:
    bool asked(const char* call, bool answer) {
        calls_.emplace_back(call);
        return answer;
    }
    bool idFlagToggles_ = false;
    std::map<uint32_t, CpuidRegisters> leaves_;
    bool is8086_ = false, is80286_ = false, is80386_ = false;
    bool hasCounter_ = false;
    std::vector<uint64_t> scripted_;
    std::size_t nextScripted_ = 0;
    uint64_t next_ = 0, step_ = 0;
    std::vector<std::string> calls_;
};

}  // namespace platform
