// The per-user store's .reg parser on arbitrary bytes. Invariant: what was
// read, written in the .reg format and read again gives the same text when
// written once more (no value changes its name, key, type or contents on
// the way), and nothing read holds a line break or NUL, which would break
// the file when written back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reg_format.h"

using namespace platform::reg;

namespace {
bool oneLine(std::string_view text) { return text.find_first_of(std::string_view("\n\0", 2)) == std::string_view::npos; }
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
    return 0;
}
