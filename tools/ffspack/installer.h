// `ffspack installer`: the product's setup.exe, made by NSIS from the same
// install script that the uninstaller carries, so that what the uninstaller
// removes is what setup.exe put there.
//
// The plan reads the script's values and the files folder and says what no
// installer could build. From it come two NSIS scripts: the product's include
// (named macros FFSPACK_PRODUCT_ATTRIBUTES, _INIT, _INSTALL, _FINISH and
// _SUCCESS, and the functions they call) and a main script that lays out the
// pages and calls the macros, as a maker's own script would.
#pragma once

#include <string>
#include <vector>

#include "nsis.h"
#include "source.h"

// Texts are UTF-8 as written, escaped where they are put into a script;
// paths that start with an NSIS folder variable are escaped run-time strings.
struct InstallerFile {
    std::string folder; // e.g. "$INSTDIR\help"
    std::string name;   // the file's name in it
    std::string source; // the file on this machine
};

struct InstallerShortcut {
    std::string folder; // the folder that holds the link, created first
    std::string link;   // "$SMPROGRAMS\<group>\<item>.lnk"
    std::string target;
    std::string arguments;
};

struct InstallerComponent {
    bool registers; // REGISTER: DllRegisterServer; any other verb: DllUnregisterServer
    std::string path;
};

struct InstallerPlan {
    std::string company;
    std::string product;
    std::string version;
    NsisVersion version_parts;
    std::string registry_path; // empty: no "Install Path", no directory page
    std::string install_dir;   // the default folder
    InstallerFile uninstaller; // the packed uninstaller, written first
    std::string uninstaller_path;
    std::string icon_path; // INSTALL NAME's, else the uninstaller's
    std::vector<InstallerFile> files;
    unsigned long long size_kib = 0; // EstimatedSize
    std::vector<InstallerComponent> components;
    std::vector<InstallerShortcut> shortcuts;
    std::string message;
    std::string licence_file; // AGREEMENT's file on this machine
    std::string welcome_title;
    std::string installing_text;
    std::string branding;
    std::string gradient_start; // "RRGGBB", or empty when there is no gradient
    std::string gradient_end;
    std::string font;
    std::string font_size;
    std::string target = "x86-unicode"; // NSIS's stub: the uninstaller's processor
    std::string execute_path;           // EXECUTE's target, offered on the finish page
    std::string execute_arguments;
    std::string execute_text;        // the finish page's check box
    bool execute_is_program = false; // a .exe is run, anything else opened
    bool offers_registration = false;
    bool refreshes = false;
};

struct InstallerInput {
    std::string script_name;
    std::vector<ScriptCommand> commands;
    std::vector<int> lines;
    std::string files_dir;          // as given: messages name the files below it
    std::string uninstaller_source; // where the packed uninstaller will be
    unsigned long long uninstaller_size = 0;
};

// The NSIS target whose setup.exe runs where `program`, a Windows executable,
// runs: a 64-bit uninstaller sees the 64-bit registry and folders, and so
// must the installer that leaves what it reads.
std::string installer_target(const std::string& program);

// Reads the script's values and the files folder into `plan`. `errors` get
// what no installer can build ("NAME:LINE: ..." or a file's path and what is
// wrong with it); `warnings` what it builds all the same.
void installer_plan(const InstallerInput& input, InstallerPlan* plan,
                    std::vector<std::string>* errors, std::vector<std::string>* warnings);

// The product's include, UTF-8 with its byte order mark.
std::string installer_include(const InstallerPlan& plan);

// The main script: pages, one section and the callbacks, which call the
// include's macros. Its output is `output_path` unless makensis is given
// -DFFSPACK_OUTFILE=PATH. UTF-8 with its byte order mark.
std::string installer_main(const InstallerPlan& plan, const std::string& include_path,
                           const std::string& output_path);
