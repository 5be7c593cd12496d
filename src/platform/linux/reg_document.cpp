#include "reg_document.h"

#include <algorithm>

namespace platform::reg {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool fitsOnOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

const Section* Document::find(std::string_view key) const {
    for (const Section& s : sections_)
        if (equalsIgnoreCase(s.key, key)) return &s;
    return nullptr;
}

Section& Document::ensure(const std::string& key) {
    for (Section& s : sections_)
        if (equalsIgnoreCase(s.key, key)) return s;
    return sections_.emplace_back(Section{key, {}});
}

const Data* Document::value(std::string_view key, std::string_view name) const {
    const Section* section = find(key);
    if (!section) return nullptr;
    for (const NamedValue& v : section->values)
        if (equalsIgnoreCase(v.name, name)) return &v.data;
    return nullptr;
}

void Document::set(const std::string& key, const std::string& name, Data data) {
    Section& section = ensure(key);
    for (NamedValue& v : section.values) {
        if (equalsIgnoreCase(v.name, name)) {
            v.data = std::move(data);
            return;
        }
    }
    section.values.push_back(NamedValue{name, std::move(data)});
}

}  // namespace platform::reg
