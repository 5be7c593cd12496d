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
    if (inner.size() < kRoot.size() || !equalsIgnoreCase(inner.substr(0, kRoot.size()), kRoot))
        return std::nullopt;
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
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value << 4 | uint32_t(digit);
    }
    return value;
}

std::optional<NamedValue> valueLine(std::string_view line) {
    size_t pos = 0;
    std::string name;
    if (line.substr(0, 1) == "@") {
        pos = 1;  // the key's default value
    } else if (auto n = quoted(line, pos)) {
        name = std::move(*n);
    } else {
        return std::nullopt;
    }
    std::string_view rest = trimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    rest = trimLeft(rest.substr(1));
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

std::string formatValue(const NamedValue& v) {
    std::string line = v.name.empty() ? std::string("@") : escaped(v.name);
    line += '=';
    if (const auto* number = std::get_if<uint32_t>(&v.data)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(*number));
        return line + "dword:" + hex;
    }
    return line + escaped(std::get<std::string>(v.data));
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
