#include "nsis.h"

namespace {

// Windows-1252's characters from 0x80 to 0x9F; the rest of the upper half is Latin-1.
const unsigned short g_cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_utf8(std::string* text, unsigned code) {
    if (code < 0x80) {
        *text += static_cast<char>(code);
    } else if (code < 0x800) {
        *text += static_cast<char>(0xC0 | (code >> 6));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *text += static_cast<char>(0xE0 | (code >> 12));
        *text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string nsis_escape(const std::string& text, NsisStringKind kind) {
    std::string escaped;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '$') {
            // At build time "$$" stays two; the preprocessor's code point gives one.
            escaped += kind == NSIS_RUN_TIME ? "$$" : "${U+24}";
        } else if (c == '{' && i > 0 && text[i - 1] == '$') {
            // Its output is not searched for defines again.
            escaped += "${U+7B}";
        } else if (c == '"') {
            escaped += "$\\\"";
        } else if (c == '\r') {
            escaped += "$\\r";
        } else if (c == '\n') {
            escaped += "$\\n";
        } else if (c == '\t') {
            escaped += "$\\t";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string nsis_quote(const std::string& text, NsisStringKind kind) {
    return "\"" + nsis_escape(text, kind) + "\"";
}

std::string nsis_utf8(const std::string& text) {
    std::string converted;
    for (unsigned char c : text) {
        append_utf8(&converted, c >= 0x80 && c < 0xA0 ? g_cp1252_high[c - 0x80] : c);
    }
    return converted;
}

NsisName nsis_name(const std::string& name, const std::string& base_folder) {
    NsisName expanded{0, base_folder, ""};
    size_t at = 0;
    while (at < name.size() && name[at] == '$') {
        if (at + 1 == name.size()) {
            ++at; // a '$' that ends the name names no folder
            break;
        }
        char macro = name[at + 1];
        static const char* const folders[] = {"$PROGRAMFILES", "$WINDIR", "$SYSDIR", "", "", ""};
        if (macro >= '0' && macro <= '5') {
            expanded.macro = macro;
            expanded.folder = folders[macro - '0'];
        }
        at += 2;
    }
    if (at < name.size() && name[at] == '\\') {
        ++at;
    }
    expanded.rest = name.substr(at);
    return expanded;
}

std::string nsis_path(const NsisName& name) {
    if (name.rest.empty()) {
        return name.folder;
    }
    return name.folder + "\\" + nsis_escape(nsis_utf8(name.rest), NSIS_RUN_TIME);
}

NsisVersion nsis_version(const std::string& text) {
    NsisVersion version;
    size_t at = 0;
    for (; at < text.size() && is_digit(text[at]); ++at) {
        if (!version.whole.empty() || text[at] != '0') {
            version.whole += text[at];
        }
    }
    if (at < text.size() && text[at] == '.') {
        for (++at; at < text.size() && is_digit(text[at]); ++at) {
            version.fraction += text[at];
        }
    }
    while (!version.fraction.empty() && version.fraction.back() == '0') {
        version.fraction.pop_back();
    }
    return version;
}
