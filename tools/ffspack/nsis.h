// NSIS script text made from the install script's values: escaping, the
// script's 8-bit text in UTF-8, names expanded as the uninstaller expands them,
// and versions as the program compares them.
#pragma once

#include <string>

// When NSIS reads a quoted string. At run time '$' starts a variable and "$$"
// is one '$' (most instructions); at build time the string is taken as it is
// (File's source, !include, OutFile, InstallDirRegKey, the licence file, BGFont).
// Both expand "${NAME}" when NAME is defined, before anything else.
enum NsisStringKind { NSIS_RUN_TIME, NSIS_BUILD_TIME };

// `text` (UTF-8) escaped for the inside of a double-quoted NSIS string, so that
// NSIS reads back exactly `text`: '$', '"', the line breaks and the tab, and a
// '{' behind a '$', which NSIS would otherwise take for a define's name.
// Every value put into a generated script goes through here.
std::string nsis_escape(const std::string& text, NsisStringKind kind);

// nsis_escape's result in double quotes.
std::string nsis_quote(const std::string& text, NsisStringKind kind);

// The install script's 8-bit text (Windows-1252) in UTF-8. The five bytes that
// Windows-1252 leaves undefined map to the control characters of the same
// number, as Windows maps them.
std::string nsis_utf8(const std::string& text);

// A name of the script as the uninstaller expands it: relative to a base
// folder unless path macros lead it, each macro replacing the folder that the
// ones before it gave ("$?" and unknown ones change nothing), then one leading
// '\' dropped.
struct NsisName {
    char macro;         // the folder's macro: '0' to '5', or 0 for the base folder
    std::string folder; // its NSIS variable; empty for '3' to '5', which no installer has
    std::string rest;   // the name after the macros and one '\', as written
};

NsisName nsis_name(const std::string& name, const std::string& base_folder);

// The full path of an expanded name as an NSIS run-time string (the folder's
// variable, '\', the rest escaped). Only for names whose folder is known.
std::string nsis_path(const NsisName& name);

// A version's leading digits and dots as the program reads them into one
// number (a second '.' ends it), in two parts that compare digit by digit:
// the whole part without leading zeros, the fraction's digits without
// trailing zeros. 1.10 gives "1" and "1", which is older than 1.9's "1", "9".
struct NsisVersion {
    std::string whole;
    std::string fraction;
};

NsisVersion nsis_version(const std::string& text);
