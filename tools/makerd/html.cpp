#include "html.h"

#include <cstdio>

namespace {

void html_put_utf8(std::string* out, unsigned code) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::string html_text(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            html_put_utf8(&out, c == '\n' || c == '\t'  ? c
                                : c < 0x20              ? 0x2400 + c
                                : c == 0x7F             ? 0x2421
                                : c >= 0x80 && c < 0xA0 ? 0xFFFD
                                                        : c);
        }
    }
    return out;
}

std::string html_url_query(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        char escape[4];
        snprintf(escape, sizeof escape, "%%%02X", c);
        out += plain ? std::string(1, static_cast<char>(c)) : std::string(escape);
    }
    return out;
}

std::string html_from_utf8(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && (next & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
            ++i;
        } else {
            return text;
        }
    }
    return out;
}
