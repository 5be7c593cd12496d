// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store's .reg parser and its line-keeping edits on arbitrary
// bytes. Invariants: what was read, written in the .reg format and read
// again gives the same text when written once more (no value changes its
// name, key, type or contents on the way); nothing read holds a line break
// or NUL, which would break the file when written back; and setting a value
// in the text makes it read back as set while every other value reads as
// before.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reg_format.h"

using namespace platform::reg;

namespace {
bool oneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\n\0", 2)) == std::string_view::npos;
}

void setKeepsTheRest(std::string_view text, const Document& before, const std::string& key, const std::string& name,
                     const Data& data) {
    const Document after = parseRegText(setValueInText(text, key, name, data));
    const Data* set = after.value(key, name);
    if (!set || *set != data) std::abort();
    for (const Section& section : before.sections())
        for (const NamedValue& v : section.values) {
            if (equalsIgnoreCase(section.key, key) && equalsIgnoreCase(v.name, name)) continue;
            const Data* kept = after.value(section.key, v.name);
            if (!kept || *kept != *before.value(section.key, v.name)) std::abort();
        }
    if (!parseRegText(addKeyToText(text, "fuzz\\new")).find("fuzz\\new")) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Document document = parseRegText(text);
    for (const Section& section : document.sections()) {
        if (!oneLine(section.key)) std::abort();
        for (const NamedValue& v : section.values) {
            if (!oneLine(v.name)) std::abort();
            if (const auto* s = std::get_if<std::string>(&v.data); s && !oneLine(*s)) std::abort();
        }
    }
    const std::string written = formatRegText(document);
    const Document reread = parseRegText(written);
    if (formatRegText(reread) != written) std::abort();
    if (reread.sections().size() != document.sections().size()) std::abort();

    setKeepsTheRest(text, document, "software\\Halvix\\Lentora!!!", "bench", Data{uint32_t(size)});
    // A name the text itself uses, so that replacing a line is tried too.
    for (const Section& section : document.sections())
        if (!section.values.empty()) {
            setKeepsTheRest(text, document, section.key, section.values.back().name, Data{std::string("v")});
            break;
        }
    return 0;
}
