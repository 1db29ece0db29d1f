#include "source.h"

#include <cstdio>

#include "script/keyword_list.h"

namespace {

const char g_mark = 0x16;

#define KEYWORD_NAME(keyword, handler) keyword,
const char* const g_keywords[] = {SCRIPT_KEYWORDS(KEYWORD_NAME)};
#undef KEYWORD_NAME

static_assert(sizeof g_keywords / sizeof g_keywords[0] == SCRIPT_KEYWORD_COUNT,
              "the keyword list and its count disagree");

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

bool is_keyword(const std::string& word) {
    for (const char* keyword : g_keywords) {
        std::string known(keyword);
        if (known.size() != word.size()) {
            continue;
        }
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) {
            same = upper(word[i]) == known[i];
        }
        if (same) {
            return true;
        }
    }
    return false;
}

std::string printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

bool is_blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

bool ffspack_check_command(const ScriptCommand& command, std::string* error) {
    size_t colon = command.find(':');
    if (colon == std::string::npos) {
        *error = "no ':' after the keyword in '" + printable(command) + "'";
        return false;
    }
    std::string keyword = command.substr(0, colon);
    if (!is_keyword(keyword)) {
        *error = "unknown keyword '" + printable(keyword) + "'";
        return false;
    }
    for (size_t i = colon + 1; i < command.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(command[i]);
        if (c < 0x20 && c != '\t') {
            char fault[96];
            snprintf(fault, sizeof fault,
                     "control byte 0x%02X in the arguments of %s (only the tab may separate them)",
                     c, keyword.c_str());
            *error = fault;
            return false;
        }
    }
    return true;
}

bool ffspack_parse_source(const std::string& name, const std::string& text,
                          std::vector<ScriptCommand>* commands, std::string* error,
                          std::vector<int>* lines) {
    commands->clear();
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (is_blank(line) || line[0] == '#') {
            continue;
        }
        std::string fault;
        if (!ffspack_check_command(line, &fault)) {
            *error = name + ":" + std::to_string(number) + ": " + fault;
            return false;
        }
        commands->push_back(line);
        if (lines) {
            lines->push_back(number);
        }
    }
    return true;
}

std::string ffspack_compile(const std::vector<ScriptCommand>& commands) {
    std::string script;
    for (const ScriptCommand& command : commands) {
        script += g_mark;
        script += command;
        script += "\r\n";
    }
    return script;
}

std::vector<ScriptCommand> ffspack_decompile(const std::string& script) {
    std::vector<ScriptCommand> commands;
    size_t at = script.find(g_mark);
    while (at != std::string::npos) {
        size_t end = script.find_first_of(std::string("\r\n\0", 3) + g_mark, at + 1);
        if (end == std::string::npos) {
            end = script.size();
        }
        commands.push_back(script.substr(at + 1, end - at - 1));
        at = script.find(g_mark, end);
    }
    return commands;
}

std::string ffspack_source_text(const std::vector<ScriptCommand>& commands) {
    std::string text;
    for (const ScriptCommand& command : commands) {
        text += command;
        text += '\n';
    }
    return text;
}

void ffspack_split_command(const ScriptCommand& command, std::string* keyword,
                           std::vector<std::string>* arguments) {
    size_t colon = command.find(':');
    *keyword = ffspack_upper(command.substr(0, colon));
    *arguments = ffspack_split(colon == std::string::npos ? "" : command.substr(colon + 1), '\t');
}

std::vector<std::string> ffspack_split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string ffspack_upper(std::string text) {
    for (char& c : text) {
        c = upper(c);
    }
    return text;
}
