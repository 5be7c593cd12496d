// SPDX-License-Identifier: GPL-3.0-or-later
#include "reg_document.h"

#include <algorithm>

namespace platform::reg {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool fitsOnOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

const Section* Document::find(std::string_view key) const {
    const auto it = sectionIndex_.find(lowered(key));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

Section& Document::ensure(const std::string& key) {
    const auto [it, added] = sectionIndex_.try_emplace(lowered(key), sections_.size());
    if (!added) return sections_[it->second];
    valueIndex_.emplace_back();
    return sections_.emplace_back(Section{key, {}});
}

const Data* Document::value(std::string_view key, std::string_view name) const {
    const auto section = sectionIndex_.find(lowered(key));
    if (section == sectionIndex_.end()) return nullptr;
    const Index& names = valueIndex_[section->second];
    const auto it = names.find(lowered(name));
    return it == names.end() ? nullptr : &sections_[section->second].values[it->second].data;
}

void Document::set(const std::string& key, const std::string& name, Data data) {
    Section& section = ensure(key);
    Index& names = valueIndex_[sectionIndex_.at(lowered(key))];
    const auto [it, added] = names.try_emplace(lowered(name), section.values.size());
    if (added)
        section.values.push_back(NamedValue{name, std::move(data)});
    else
        section.values[it->second].data = std::move(data);
}

}  // namespace platform::reg
