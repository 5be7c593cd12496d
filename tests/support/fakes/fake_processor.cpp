// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_processor.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

namespace {

uint32_t littleEndianWord(std::string_view bytes, std::size_t at) {
    uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) word |= uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return word;
}

}  // namespace

CpuidRegisters vendorLeaf(std::string_view twelveBytes, uint32_t highestLeaf) {
    if (twelveBytes.size() != 12) throw std::invalid_argument("a vendor is exactly 12 bytes");
    CpuidRegisters r;
    r.eax = highestLeaf;
    r.ebx = littleEndianWord(twelveBytes, 0);
    r.edx = littleEndianWord(twelveBytes, 4);
    r.ecx = littleEndianWord(twelveBytes, 8);
    return r;
}

void FakeProcessor::setClassTests(bool is8086, bool is80286, bool is80386) {
    is8086_ = is8086;
    is80286_ = is80286;
    is80386_ = is80386;
}

void FakeProcessor::setTimeStamps(std::vector<uint64_t> values, uint64_t next, uint64_t step) {
    hasCounter_ = true;
    scripted_ = std::move(values);
    nextScripted_ = 0;
    next_ = next;
    step_ = step;
}

std::size_t FakeProcessor::count(std::string_view call) const { return std::count(calls_.begin(), calls_.end(), call); }

CpuidRegisters FakeProcessor::cpuid(uint32_t leaf) {
    calls_.push_back("cpuid " + std::to_string(leaf));
    auto found = leaves_.find(leaf);
    return found == leaves_.end() ? CpuidRegisters{} : found->second;
}

std::optional<uint64_t> FakeProcessor::readTimeStamp() {
    calls_.emplace_back("rdtsc");
    if (!hasCounter_) return std::nullopt;
    if (nextScripted_ < scripted_.size()) return scripted_[nextScripted_++];
    uint64_t value = next_;
    next_ += step_;
    return value;
}

}  // namespace platform
