// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The contents of the per-user store: keys holding typed values. Key and
// value names compare case-insensitively, as Windows compares them, and keep
// the spelling they were first stored with.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace platform::reg {

// A REG_DWORD or a REG_SZ value.
using Data = std::variant<uint32_t, std::string>;

struct NamedValue {
    std::string name;
    Data data;
};

struct Section {
    std::string key;
    std::vector<NamedValue> values;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Line breaks and NUL cannot be held by a line of the .reg file.
bool fitsOnOneLine(std::string_view text);

class Document {
public:
    const Section* find(std::string_view key) const;
    // The key's section, added at the end when missing.
    Section& ensure(const std::string& key);
    const Data* value(std::string_view key, std::string_view name) const;
    void set(const std::string& key, const std::string& name, Data data);
    const std::vector<Section>& sections() const { return sections_; }

private:
    // Positions by lower-cased name, so that a damaged or hostile file with
    // many thousands of keys or values still reads in linear time.
    using Index = std::unordered_map<std::string, size_t>;
    std::vector<Section> sections_;
    Index sectionIndex_;
    std::vector<Index> valueIndex_;  // one per section
};

}  // namespace platform::reg
