// The install script's readable source and its stored form.
//
// Source: one command per line, "KEYWORD:arg1<TAB>arg2...": the tab is the one
// control byte that separates arguments. Blank lines and lines starting with
// '#' are dropped; a line may end in LF or CR LF.
// Stored form (install.dat): each command as the mark 0x16, the line, CR LF.
#pragma once

#include <string>
#include <vector>

// One command as written: keyword, ':', arguments separated by tabs.
typedef std::string ScriptCommand;

// Checks one command: a keyword of the engine's table (any letter case), a
// ':', and no control byte but the tab in the arguments. On failure returns
// false and describes the fault in `error`.
bool ffspack_check_command(const ScriptCommand& command, std::string* error);

// Parses and checks readable source. Errors read "NAME:LINE: fault". `lines`
// (unless null) receives each command's line number.
bool ffspack_parse_source(const std::string& name, const std::string& text,
                          std::vector<ScriptCommand>* commands, std::string* error,
                          std::vector<int>* lines = nullptr);

// The stored form of the commands.
std::string ffspack_compile(const std::vector<ScriptCommand>& commands);

// Every command of a stored script: from each mark to the end of its line.
// Bytes outside commands are passed over, as the stub does.
std::vector<ScriptCommand> ffspack_decompile(const std::string& script);

// Readable source of the commands, one per line.
std::string ffspack_source_text(const std::vector<ScriptCommand>& commands);

// A command's keyword in capitals and its arguments (at least one, maybe empty).
void ffspack_split_command(const ScriptCommand& command, std::string* keyword,
                           std::vector<std::string>* arguments);

// The parts of `text` between separators: at least one, maybe empty.
std::vector<std::string> ffspack_split(const std::string& text, char separator);

// ASCII letters in capitals, as the program compares keywords and verbs.
std::string ffspack_upper(std::string text);
