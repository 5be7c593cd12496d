// SPDX-License-Identifier: GPL-3.0-or-later
#include "reg_format.h"

#include <cstdio>
#include <optional>

namespace platform::reg {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimRight(std::string_view s) {
    const size_t end = s.find_last_not_of(" \t\r");
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string_view trimLeft(std::string_view s) {
    const size_t begin = s.find_first_not_of(kBlanks);
    return begin == std::string_view::npos ? std::string_view() : s.substr(begin);
}

// `[HKEY_CURRENT_USER\key]` gives the key; other roots and deletions nothing.
std::optional<std::string> sectionKey(std::string_view line) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    const std::string_view inner = line.substr(1, line.size() - 2);
    if (inner.size() < kRoot.size() || !equalsIgnoreCase(inner.substr(0, kRoot.size()), kRoot)) return std::nullopt;
    const std::string_view rest = inner.substr(kRoot.size());
    if (rest.empty()) return std::string();
    if (rest.front() != '\\') return std::nullopt;
    return std::string(rest.substr(1));
}

// A quoted text with regedit's escapes (\\ and \"); `pos` moves past it.
std::optional<std::string> quoted(std::string_view line, size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string text;
    for (size_t i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return text;
        }
        text += (c == '\\' && i + 1 < line.size()) ? line[++i] : c;
    }
    return std::nullopt;  // no closing quote: a cut-off line
}

std::optional<uint32_t> dwordData(std::string_view data) {
    constexpr std::string_view prefix = "dword:";
    if (data.size() != prefix.size() + 8 || !equalsIgnoreCase(data.substr(0, prefix.size()), prefix))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : data.substr(prefix.size())) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value << 4 | uint32_t(digit);
    }
    return value;
}

// The name of a value line and where its data starts, whatever the data is.
std::optional<std::pair<std::string, size_t>> nameAndDataStart(std::string_view line) {
    size_t pos = 0;
    std::string name;
    if (line.substr(0, 1) == "@") {
        pos = 1;  // the key's default value
    } else if (auto n = quoted(line, pos)) {
        name = std::move(*n);
    } else {
        return std::nullopt;
    }
    while (pos < line.size() && kBlanks.find(line[pos]) != std::string_view::npos) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    while (pos < line.size() && kBlanks.find(line[pos]) != std::string_view::npos) ++pos;
    return std::pair{std::move(name), pos};
}

std::optional<NamedValue> valueLine(std::string_view line) {
    auto named = nameAndDataStart(line);
    if (!named) return std::nullopt;
    std::string name = std::move(named->first);
    const std::string_view rest = line.substr(named->second);
    if (auto number = dwordData(rest)) return NamedValue{std::move(name), *number};
    size_t end = 0;
    auto text = quoted(rest, end);
    if (!text || end != rest.size()) return std::nullopt;
    return NamedValue{std::move(name), std::move(*text)};
}

std::string escaped(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string formatData(const Data& data) {
    if (const auto* number = std::get_if<uint32_t>(&data)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(*number));
        return std::string("dword:") + hex;
    }
    return escaped(std::get<std::string>(data));
}

std::string formatValue(const NamedValue& v) {
    return (v.name.empty() ? std::string("@") : escaped(v.name)) + '=' + formatData(v.data);
}

// Where a value's line is in a store's text, and where a new one would go.
struct Spots {
    size_t valueBegin = std::string_view::npos, valueEnd = 0, dataStart = 0;
    std::string valueEol;
    size_t sectionEnd = std::string_view::npos;  // after the key's last non-blank line
    size_t headerEnd = 0;                        // after the key's last section header
    bool sectionEndContinues = false;            // that line is cut off by a '\'
    std::string sectionEol;
};

// Walks the lines as parseRegText reads them.
Spots locate(std::string_view text, std::string_view key, std::string_view name) {
    Spots spots;
    bool inKey = false, extending = false;
    for (size_t pos = 0; pos < text.size();) {
        const size_t eol = text.find('\n', pos);
        const size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
        const std::string_view raw = text.substr(pos, next - pos);
        const std::string_view line = trimLeft(trimRight(raw.substr(0, raw.find('\n'))));
        const std::string lineEol = raw.size() >= 2 && raw.substr(raw.size() - 2) == "\r\n" ? "\r\n" : "\n";
        const bool readable = !line.empty() && line.find('\0') == std::string_view::npos;
        const auto named = readable && line.front() != '[' ? nameAndDataStart(line) : std::nullopt;
        if (extending && readable && line.front() != '[' && !named) {
            spots.valueEnd = next;  // a continuation line of the value
            extending = line.back() == '\\';
        } else if (readable && line.front() == '[') {
            const auto section = sectionKey(line);
            inKey = section && equalsIgnoreCase(*section, key);
            extending = false;
            if (inKey) {
                spots.sectionEnd = spots.headerEnd = next;
                spots.sectionEol = lineEol;
                spots.sectionEndContinues = false;
            }
        } else if (inKey && readable) {
            spots.sectionEnd = next;
            spots.sectionEndContinues = line.back() == '\\';
            extending = false;
            if (named && equalsIgnoreCase(named->first, name)) {
                spots.valueBegin = pos;
                spots.valueEnd = next;
                spots.dataStart = pos + size_t(line.data() - raw.data()) + named->second;
                spots.valueEol = lineEol;
                extending = line.back() == '\\';
            }
        }
        pos = next;
    }
    return spots;
}

std::string firstLineEol(std::string_view text) {
    const size_t eol = text.find('\n');
    return eol != std::string_view::npos && eol > 0 && text[eol - 1] == '\r' ? "\r\n" : "\n";
}

std::string withSection(std::string_view text, const std::string& key, const std::string& valueLine) {
    const std::string eol = text.empty() ? "\n" : firstLineEol(text);
    std::string out = text.empty() ? std::string(kHeader) + eol + eol : std::string(text);
    if (out.back() != '\n') out += eol;
    out += '[';
    out += kRoot;
    if (!key.empty()) out += '\\' + key;
    return out + ']' + eol + (valueLine.empty() ? "" : valueLine + eol) + eol;
}

}  // namespace

Document parseRegText(std::string_view text) {
    Document document;
    std::optional<std::string> key;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = trimLeft(trimRight(text.substr(0, eol)));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.empty() || line.find('\0') != std::string_view::npos) continue;
        if (line.front() == '[') {
            key = sectionKey(line);
            if (key) document.ensure(*key);
        } else if (key) {
            if (auto v = valueLine(line)) document.set(*key, v->name, std::move(v->data));
        }
    }
    return document;
}

std::string setValueInText(std::string_view text, const std::string& key, const std::string& name, const Data& data) {
    const Spots spots = locate(text, key, name);
    const std::string line = formatValue({name, data});
    if (spots.valueBegin != std::string_view::npos)
        return std::string(text.substr(0, spots.dataStart)) + formatData(data) + spots.valueEol +
               std::string(text.substr(spots.valueEnd));
    if (spots.sectionEnd == std::string_view::npos) return withSection(text, key, line);
    // After the section's last line, unless that line waits for a continuation.
    const size_t at = spots.sectionEndContinues ? spots.headerEnd : spots.sectionEnd;
    std::string out(text.substr(0, at));
    if (!out.empty() && out.back() != '\n') out += spots.sectionEol;
    return out + line + spots.sectionEol + std::string(text.substr(at));
}

std::string addKeyToText(std::string_view text, const std::string& key) { return withSection(text, key, {}); }

std::string formatRegText(const Document& document) {
    std::string out(kHeader);
    out += "\n\n";
    for (const Section& s : document.sections()) {
        out += '[';
        out += kRoot;
        if (!s.key.empty()) out += '\\' + s.key;
        out += "]\n";
        for (const NamedValue& v : s.values) out += formatValue(v) + '\n';
        out += '\n';
    }
    return out;
}

}  // namespace platform::reg
