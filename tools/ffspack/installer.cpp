#include "installer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "check.h"

namespace fs = std::filesystem;

namespace {

const char g_bom[] = "\xEF\xBB\xBF";
const char g_uninstall_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// Characters that no Windows file name may hold (a drive's ':' is found as absolute first).
const char g_not_in_names[] = "<>:\"|?*";

enum {
    FAIL_FILE = 3,
    FAIL_REGISTRY = 4,
    FAIL_SHORTCUT = 5,
    FAIL_COMPONENT = 6,
    FAIL_NEWER = 7,
};

std::string lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : " ") + part;
    }
    return nsis_utf8(text);
}

// A command of the script: its arguments and line.
struct Given {
    std::vector<std::string> arguments;
    int line = 0;
    std::string group; // ADD ITEM's: the CREATE GROUP in effect
};

struct Planner {
    const InstallerInput& input;
    InstallerPlan* plan;
    std::vector<std::string>* errors;
    std::vector<std::string>* warnings;
    std::map<std::string, Given> last; // of each keyword: the one in effect once the script ran
    std::vector<Given> components;
    std::vector<Given> items;
    std::set<std::string> used;      // the folder's files that the script names, in lower case
    std::set<std::string> installed; // the targets' paths, in lower case
    unsigned long long bytes = 0;

    const Given& given(const std::string& keyword) const {
        static const Given none;
        auto found = last.find(keyword);
        return found == last.end() ? none : found->second;
    }

    std::string argument(const std::string& keyword, size_t index) const {
        const Given& command = given(keyword);
        return index < command.arguments.size() ? command.arguments[index] : "";
    }

    std::string place(int line) const {
        return input.script_name + (line > 0 ? ":" + std::to_string(line) : "");
    }

    void error(int line, const std::string& text) { errors->push_back(place(line) + ": " + text); }

    std::string shown(const std::string& relative) const {
        return (fs::path(input.files_dir) / fs::u8path(relative)).make_preferred().string();
    }

    // The name's folder and rest; false, with an error, when the folder is one
    // that an installer has no place for.
    bool expand(const std::string& name, const std::string& base, int line, NsisName* expanded) {
        *expanded = nsis_name(name, base);
        if (!expanded->folder.empty()) {
            return true;
        }
        static const char* const folders[] = {"the running program's folder",
                                              "the temporary folder", "the current folder"};
        error(line, "the name '" + name + "' is behind $" + expanded->macro + " (" +
                        folders[expanded->macro - '3'] + "): no installer can place a file there");
        return false;
    }

    // Whether a file of the files folder can be taken for `name`.
    bool inside(const std::string& name, const std::string& rest, int line) {
        if (ffspack_leaves_folder(rest)) {
            error(line, "the name '" + name +
                            "' is absolute or holds '..': it lies outside the files folder");
            return false;
        }
        size_t bad = rest.find_first_of(g_not_in_names);
        if (bad != std::string::npos) {
            error(line, "the name '" + name + "' holds '" + rest[bad] +
                            "', which no Windows file name may: no installer can place it");
            return false;
        }
        return true;
    }

    // The files folder's file for a name, with '/' for '\', in UTF-8.
    static std::string relative(const std::string& rest) {
        std::string path = nsis_utf8(rest);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    // The source of a file that `keyword` names; empty, with an error, when
    // the files folder lacks it.
    std::string source(const std::string& relative_path, const std::string& keyword, int line) {
        used.insert(lower(relative_path));
        fs::path path = fs::path(input.files_dir) / fs::u8path(relative_path);
        std::error_code failure;
        if (!fs::is_regular_file(path, failure)) {
            errors->push_back(shown(relative_path) + ": no such file, but " + keyword +
                              " names it (" + place(line) + ")");
            return "";
        }
        bytes += fs::file_size(path, failure);
        return fs::absolute(path).u8string();
    }

    // An expanded name as the file's folder and its own name.
    static InstallerFile target(const NsisName& expanded, const std::string& source) {
        size_t slash = expanded.rest.find_last_of("\\/");
        std::string folder = slash == std::string::npos ? "" : expanded.rest.substr(0, slash);
        std::string name = expanded.rest.substr(slash == std::string::npos ? 0 : slash + 1);
        return {nsis_path({expanded.macro, expanded.folder, folder}), nsis_utf8(name), source};
    }

    void add_uninstaller() {
        const Given& command = given("UNINSTALL NAME");
        std::string name = argument("UNINSTALL NAME", 0);
        NsisName expanded;
        if (name.empty()) {
            error(0, "no UNINSTALL NAME: setup.exe has no name to give the uninstaller");
        } else if (expand(name, "$INSTDIR", command.line, &expanded) &&
                   inside(name, expanded.rest, command.line)) {
            plan->uninstaller = target(expanded, input.uninstaller_source);
            plan->uninstaller_path = nsis_path(expanded);
            bytes += input.uninstaller_size;
            installed.insert(lower(plan->uninstaller_path));
            std::error_code failure;
            std::string path = relative(expanded.rest);
            if (fs::exists(fs::path(input.files_dir) / fs::u8path(path), failure)) {
                used.insert(lower(path));
                warnings->push_back(shown(path) + ": the packed uninstaller replaces it");
            }
        }
    }

    void add_file(const std::string& keyword, const std::string& name) {
        int line = given(keyword).line;
        NsisName expanded;
        if (name.empty() || !expand(name, "$INSTDIR", line, &expanded) ||
            !inside(name, expanded.rest, line) ||
            lower(nsis_path(expanded)) == lower(plan->uninstaller_path)) {
            return;
        }
        std::string path = source(relative(expanded.rest), keyword, line);
        if (!path.empty() && installed.insert(lower(nsis_path(expanded))).second) {
            plan->files.push_back(target(expanded, path));
        }
    }

    // FILE LIST's files, INSTALL NAME, AGREEMENT's file and the size of them all.
    void add_files() {
        for (const std::string& name : ffspack_split(argument("FILE LIST", 0), ',')) {
            add_file("FILE LIST", name);
        }
        std::string install_name = argument("INSTALL NAME", 0);
        add_file("INSTALL NAME", install_name);
        NsisName expanded = nsis_name(install_name, "$INSTDIR");
        plan->icon_path = install_name.empty() || expanded.folder.empty() ? plan->uninstaller_path
                                                                          : nsis_path(expanded);
        std::string licence = argument("AGREEMENT", 0);
        int line = given("AGREEMENT").line;
        if (!licence.empty() && inside(licence, licence, line)) {
            plan->licence_file = source(relative(licence), "AGREEMENT", line);
        }
        std::string size = argument("INSTALL SIZE", 0);
        size_t digits = size.find_first_not_of(" \t");
        bool given_size = digits != std::string::npos && size[digits] >= '0' && size[digits] <= '9';
        unsigned long long kib =
            given_size ? strtoull(size.c_str() + digits, nullptr, 10) : (bytes + 1023) / 1024;
        plan->size_kib = std::min(kib, 0xFFFFFFFFull); // a DWORD
    }

    // Files of the folder that the script does not name are left out.
    void find_unlisted() {
        std::error_code failure;
        if (!fs::is_directory(input.files_dir, failure)) {
            errors->push_back(input.files_dir + ": not a folder");
            return;
        }
        std::vector<std::string> unlisted;
        for (fs::recursive_directory_iterator at(input.files_dir, failure), end;
             !failure && at != end; at.increment(failure)) {
            std::string path = at->path().lexically_relative(input.files_dir).generic_u8string();
            if (at->is_regular_file(failure) && !used.count(lower(path))) {
                unlisted.push_back(path);
            }
        }
        std::sort(unlisted.begin(), unlisted.end());
        for (const std::string& path : unlisted) {
            warnings->push_back(shown(path) + ": the script does not list it: not installed, as it "
                                              "would stay behind after an uninstall");
        }
    }

    // "R G B" in decimal as NSIS's "RRGGBB".
    std::string colour(const std::string& keyword) {
        const Given& command = given(keyword);
        std::string hex;
        for (const std::string& part : command.arguments) {
            if (command.arguments.size() != 3 || part.empty() || part.size() > 3 ||
                part.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(part) > 255) {
                error(command.line,
                      keyword + " needs three numbers from 0 to 255: red, green and blue");
                return "";
            }
            static const char digits[] = "0123456789ABCDEF";
            hex += digits[std::stoi(part) / 16];
            hex += digits[std::stoi(part) % 16];
        }
        return hex;
    }

    // What the installer's own screens show.
    void add_looks() {
        plan->branding = joined(given("BRAND LIST").arguments);
        plan->message = joined(given("MESSAGE").arguments);
        plan->installing_text = nsis_utf8(argument("INSTALL PATH", 0));
        // NSIS's own colours stand in for a missing end.
        if (last.count("GRADIENT START") || last.count("GRADIENT END")) {
            plan->gradient_start =
                last.count("GRADIENT START") ? colour("GRADIENT START") : "0000FF";
            plan->gradient_end = last.count("GRADIENT END") ? colour("GRADIENT END") : "000000";
        }
        if (last.count("FONT")) {
            plan->font = nsis_utf8(argument("FONT", 0));
            plan->font_size = argument("FONT", 1);
            if (plan->font.empty() ||
                plan->font_size.find_first_not_of("0123456789") != std::string::npos) {
                error(given("FONT").line, "FONT needs a font's name and its size, a number");
            }
        }
        const Given& execute = given("EXECUTE");
        NsisName target;
        if (!argument("EXECUTE", 0).empty() &&
            expand(argument("EXECUTE", 0), "$INSTDIR", execute.line, &target)) {
            plan->execute_path = nsis_path(target);
            plan->execute_arguments = nsis_utf8(argument("EXECUTE", 1));
            std::string name = target.rest.substr(target.rest.find_last_of("\\/") + 1);
            std::string extension = lower(name.substr(name.size() < 4 ? 0 : name.size() - 4));
            plan->execute_is_program = extension == ".exe";
            plan->execute_text =
                plan->execute_is_program ? "&Run " + plan->product : "&Open " + nsis_utf8(name);
        }
    }

    // A component in the product's folder is one of its files; any other is
    // registered where another installer put it.
    void add_components() {
        for (const Given& command : components) {
            const std::string& name = command.arguments[1];
            NsisName expanded;
            if (!expand(name, "$INSTDIR", command.line, &expanded)) {
                continue;
            }
            std::string path = nsis_path(expanded);
            if (expanded.macro == 0 && !installed.count(lower(path))) {
                error(command.line, "the component '" + name +
                                        "' lies in the product's folder, but FILE LIST and INSTALL "
                                        "NAME do not name it: setup.exe has no file to register");
                continue;
            }
            plan->components.push_back({ffspack_upper(command.arguments[0]) == "REGISTER", path});
        }
    }

    void add_shortcuts() {
        for (const Given& command : items) {
            NsisName expanded;
            if (!expand(command.arguments[1], "$INSTDIR", command.line, &expanded)) {
                continue;
            }
            std::string link =
                (command.group.empty() ? "" : command.group + "\\") + command.arguments[3] + ".lnk";
            size_t slash = link.find_last_of('\\');
            std::string folder = slash == std::string::npos ? "" : link.substr(0, slash);
            plan->shortcuts.push_back({nsis_path({0, "$SMPROGRAMS", folder}),
                                       nsis_path({0, "$SMPROGRAMS", link}), nsis_path(expanded),
                                       nsis_utf8(command.arguments[2])});
        }
    }
};

} // namespace

void installer_plan(const InstallerInput& input, InstallerPlan* plan,
                    std::vector<std::string>* errors, std::vector<std::string>* warnings) {
    Planner planner{input, plan, errors, warnings, {}, {}, {}, {}, {}, 0};
    std::string group;
    for (size_t i = 0; i < input.commands.size(); ++i) {
        std::string keyword;
        Given command;
        ffspack_split_command(input.commands[i], &keyword, &command.arguments);
        command.line = input.lines[i];
        command.group = group;
        if (keyword == "CREATE GROUP") {
            group = command.arguments[0];
        } else if (keyword == "ADD ITEM") {
            command.arguments.resize(4);
            planner.items.push_back(command);
        } else if (keyword == "OLE") {
            command.arguments.resize(2);
            planner.components.push_back(command);
        } else if (keyword == "STRING" && command.arguments.size() > 1 &&
                   command.arguments[0] == "1") {
            plan->welcome_title = nsis_utf8(command.arguments[1]);
        }
        planner.last[keyword] = command;
    }
    plan->company = nsis_utf8(planner.argument("COMPANY NAME", 0));
    plan->product = nsis_utf8(planner.argument("PRODUCT NAME", 0));
    plan->version = nsis_utf8(planner.argument("PRODUCT VERSION", 0));
    plan->version_parts = nsis_version(planner.argument("PRODUCT VERSION", 0));
    plan->registry_path = nsis_utf8(planner.argument("REGISTRY PATH", 0));
    std::string dir = planner.argument("INSTALL DIR", 0);
    NsisName folder;
    if (dir.empty()) {
        planner.error(0, "no INSTALL DIR: setup.exe would install into Program Files itself");
    } else if (planner.expand(dir, "$PROGRAMFILES", planner.given("INSTALL DIR").line, &folder)) {
        while (!folder.rest.empty() && folder.rest.back() == '\\') {
            folder.rest.pop_back();
        }
        plan->install_dir = nsis_path(folder);
    }
    planner.add_uninstaller();
    planner.add_files();
    planner.find_unlisted();
    planner.add_components();
    planner.add_shortcuts();
    planner.add_looks();
    plan->offers_registration = planner.last.count("REGISTER") > 0;
    plan->refreshes = planner.last.count("REFRESH") > 0;
}

namespace {

std::string run_time(const std::string& text) {
    return nsis_quote(text, NSIS_RUN_TIME);
}

std::string build_time(const std::string& text) {
    return nsis_quote(text, NSIS_BUILD_TIME);
}

// A run-time string whose parts are escaped already.
std::string in_quotes(const std::string& escaped) {
    return "\"" + escaped + "\"";
}

// One instruction; when it sets the error flag, the failure's log line and
// exit code go to ffspack_Fail and the installation goes on.
std::string checked(const std::string& instruction, const std::string& escaped_line, int code,
                    const std::string& indent = "  ") {
    return indent + "ClearErrors\n" + indent + instruction + "\n" + indent + "${If} ${Errors}\n" +
           indent + "  Push " + in_quotes(escaped_line) + "\n" + indent + "  Push " +
           std::to_string(code) + "\n" + indent + "  Call ffspack_Fail\n" + indent + "${EndIf}\n";
}

std::string product_name(const InstallerPlan& plan) {
    return plan.company + " " + plan.product;
}

std::string uninstall_key(const InstallerPlan& plan) {
    return nsis_escape(g_uninstall_key + product_name(plan), NSIS_RUN_TIME);
}

std::string write_file(const InstallerFile& file) {
    std::string target = file.folder + "\\" + nsis_escape(file.name, NSIS_RUN_TIME);
    return checked("File " + in_quotes("/oname=" + nsis_escape(file.name, NSIS_RUN_TIME)) + " " +
                       build_time(file.source),
                   "Unable to write file '" + target + "'", FAIL_FILE);
}

// A string or DWORD value; `root` is HKCU or HKLM, `key` escaped.
std::string write_value(const std::string& root, const std::string& key, const std::string& name,
                        const std::string& escaped_value, bool dword = false,
                        const std::string& indent = "  ") {
    return checked(std::string(dword ? "WriteRegDWORD " : "WriteRegStr ") + root + " " +
                       in_quotes(key) + " " + run_time(name) + " " +
                       (dword ? escaped_value : in_quotes(escaped_value)),
                   "Unable to write registry value '" + root + "\\" + key + "' '" + name + "'",
                   FAIL_REGISTRY, indent);
}

std::string attributes(const InstallerPlan& plan) {
    std::string name = product_name(plan);
    std::string doubled;
    for (char c : name) {
        doubled += c == '&' ? "&&" : std::string(1, c);
    }
    std::string text = "!macro FFSPACK_PRODUCT_ATTRIBUTES\n  Name " + run_time(name) + " " +
                       run_time(doubled) + "\n  InstallDir " + in_quotes(plan.install_dir) + "\n";
    if (!plan.registry_path.empty()) {
        text += "  InstallDirRegKey HKCU " + build_time(plan.registry_path) + " \"Install Path\"\n";
    }
    text += "  RequestExecutionLevel admin\n";
    if (!plan.branding.empty()) {
        text += "  BrandingText " + run_time(plan.branding) + "\n";
    }
    if (!plan.gradient_start.empty()) {
        text += "  BGGradient " + plan.gradient_start + " " + plan.gradient_end + "\n";
    }
    if (!plan.font.empty()) {
        text += "  BGFont " + build_time(plan.font) + " " + plan.font_size + "\n";
    }
    return text + "!macroend\n";
}

std::string init(const InstallerPlan& plan) {
    std::string version = nsis_escape(plan.version, NSIS_RUN_TIME);
    std::string text = "!macro FFSPACK_PRODUCT_INIT\n"
                       "  Call ffspack_FindQuiet\n"
                       "  ${If} $ffspack_Quiet = 1\n"
                       "    SetSilent silent\n"
                       "  ${EndIf}\n";
    if (!plan.welcome_title.empty()) {
        text += "  StrCpy $ffspack_WelcomeTitle " + run_time(plan.welcome_title) + "\n";
    }
    if (!plan.installing_text.empty()) {
        text += "  StrCpy $ffspack_InstallingText " + run_time(plan.installing_text) + "\n";
    }
    if (!plan.execute_path.empty()) {
        text += "  StrCpy $ffspack_ExecuteText " + run_time(plan.execute_text) + "\n";
    }
    if (plan.registry_path.empty()) {
        text += "  ; Without REGISTRY PATH the uninstaller looks in this folder only.\n"
                "  StrCpy $INSTDIR " +
                in_quotes(plan.install_dir) + "\n";
    }
    text += "  ReadRegStr $ffspack_Installed HKLM " + in_quotes(uninstall_key(plan)) +
            " \"DisplayVersion\"\n"
            "  ${If} $ffspack_Installed != \"\"\n"
            "    Call ffspack_CheckNewer\n"
            "    ${If} $ffspack_Newer = 1\n"
            "      ${If} ${Silent}\n"
            "        Push \"Newer version $ffspack_Installed is installed; " +
            version +
            " was not installed\"\n"
            "        Push " +
            std::to_string(FAIL_NEWER) +
            "\n"
            "        Call ffspack_Fail\n"
            "        SetErrorLevel " +
            std::to_string(FAIL_NEWER) +
            "\n"
            "        Quit\n"
            "      ${EndIf}\n"
            "      MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \"" +
            nsis_escape(product_name(plan), NSIS_RUN_TIME) +
            " $ffspack_Installed is installed, which is newer than " + version +
            ".$\\r$\\n$\\r$\\nInstall " + version +
            " over it?\" /SD IDNO IDYES +3\n"
            "      SetErrorLevel " +
            std::to_string(FAIL_NEWER) +
            "\n"
            "      Quit\n"
            "    ${EndIf}\n"
            "  ${EndIf}\n"
            "!macroend\n";
    return text;
}

std::string install(const InstallerPlan& plan) {
    std::string text = "!macro FFSPACK_PRODUCT_INSTALL\n";
    if (!plan.message.empty()) {
        text += "  MessageBox MB_OK " + run_time(plan.message) + " /SD IDOK\n";
    }
    std::string key = uninstall_key(plan);
    std::string registry = nsis_escape(plan.registry_path, NSIS_RUN_TIME);
    if (!plan.registry_path.empty()) {
        text += "  ReadRegStr $ffspack_RegisteredVersion HKCU " + in_quotes(registry) +
                " \"Registered Version\"\n";
    }
    text += "  Call ffspack_RemovePrevious\n"
            "  SetOverwrite on\n"
            "  ; The uninstaller and its registry values first: whatever happens next,\n"
            "  ; it removes what was written.\n"
            "  SetOutPath " +
            in_quotes(plan.uninstaller.folder) + "\n" + write_file(plan.uninstaller);
    if (!plan.registry_path.empty()) {
        text += "  ; The uninstaller appends names to the folder as it is stored.\n"
                "  StrCpy $ffspack_Folder $INSTDIR 1 -1\n"
                "  ${If} $ffspack_Folder == \"\\\"\n"
                "    StrCpy $ffspack_Folder $INSTDIR\n"
                "  ${Else}\n"
                "    StrCpy $ffspack_Folder \"$INSTDIR\\\"\n"
                "  ${EndIf}\n" +
                write_value("HKCU", registry, "Install Path", "$ffspack_Folder");
    }
    std::string uninstaller = "$\\\"" + plan.uninstaller_path + "$\\\"";
    text +=
        write_value("HKLM", key, "DisplayName", nsis_escape(product_name(plan), NSIS_RUN_TIME)) +
        write_value("HKLM", key, "DisplayVersion", nsis_escape(plan.version, NSIS_RUN_TIME)) +
        write_value("HKLM", key, "Publisher", nsis_escape(plan.company, NSIS_RUN_TIME)) +
        write_value("HKLM", key, "InstallLocation", "$INSTDIR") +
        write_value("HKLM", key, "DisplayIcon", plan.icon_path) +
        write_value("HKLM", key, "UninstallString", uninstaller) +
        write_value("HKLM", key, "QuietUninstallString", uninstaller + " -Quiet") +
        write_value("HKLM", key, "EstimatedSize", std::to_string(plan.size_kib), true) +
        write_value("HKLM", key, "NoModify", "1", true) +
        write_value("HKLM", key, "NoRepair", "1", true);
    // One SetOutPath per folder: File creates none.
    std::vector<std::string> folders;
    for (const InstallerFile& file : plan.files) {
        if (std::find(folders.begin(), folders.end(), file.folder) == folders.end()) {
            folders.push_back(file.folder);
        }
    }
    for (const std::string& folder : folders) {
        text += "  SetOutPath " + in_quotes(folder) + "\n";
        for (const InstallerFile& file : plan.files) {
            text += file.folder == folder ? write_file(file) : "";
        }
    }
    for (const InstallerComponent& component : plan.components) {
        text += checked((component.registers ? "RegDLL " : "UnRegDLL ") + in_quotes(component.path),
                        "Unable to register component '" + component.path + "'", FAIL_COMPONENT);
    }
    if (!plan.shortcuts.empty()) {
        text += "  SetShellVarContext current\n"
                "  SetOutPath \"$INSTDIR\"\n";
    }
    folders.clear();
    for (const InstallerShortcut& shortcut : plan.shortcuts) {
        if (shortcut.folder != "$SMPROGRAMS" &&
            std::find(folders.begin(), folders.end(), shortcut.folder) == folders.end()) {
            folders.push_back(shortcut.folder);
            text += "  CreateDirectory " + in_quotes(shortcut.folder) + "\n";
        }
        text += checked("CreateShortCut " + in_quotes(shortcut.link) + " " +
                            in_quotes(shortcut.target) + " " + run_time(shortcut.arguments),
                        "Unable to create shortcut '" + shortcut.link + "'", FAIL_SHORTCUT);
    }
    if (plan.refreshes) {
        text += "  System::Call \"shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)\"\n";
    }
    if (!plan.registry_path.empty()) {
        text += "  ${If} $ffspack_RegisteredVersion != \"\"\n" +
                write_value("HKCU", registry, "Registered Version", "$ffspack_RegisteredVersion",
                            false, "    ") +
                "  ${EndIf}\n";
    }
    return text + "!macroend\n";
}

std::string finish(const InstallerPlan& plan) {
    return "!macro FFSPACK_PRODUCT_FINISH\n"
           "  ${If} $ffspack_Failure <> 0\n"
           "    SetErrorLevel $ffspack_Failure\n"
           "    ${IfNot} ${Silent}\n"
           "      MessageBox MB_OK|MB_ICONEXCLAMATION \"" +
           nsis_escape(product_name(plan), NSIS_RUN_TIME) +
           " was not installed completely:$\\r$\\n$ffspack_FailureLine$\\r$\\n$\\r$\\nEvery "
           "failure is listed in " +
           "$TEMP\\" + nsis_escape(product_name(plan) + " Setup.log", NSIS_RUN_TIME) +
           ".\"\n"
           "    ${EndIf}\n"
           "  ${ElseIf} $ffspack_Quiet = 1\n"
           "    SetErrorLevel 1\n"
           "  ${EndIf}\n"
           "!macroend\n";
}

std::string success(const InstallerPlan& plan) {
    std::string text = "!macro FFSPACK_PRODUCT_SUCCESS\n";
    if (plan.offers_registration) {
        text += "  ${If} $ffspack_Failure = 0\n"
                "  ${AndIfNot} ${Silent}\n"
                "    Exec \"$\\\"" +
                plan.uninstaller_path +
                "$\\\" -InstReg\"\n"
                "  ${EndIf}\n";
    }
    return text + "!macroend\n";
}

// The functions that the macros call; each keeps the registers it uses.
std::string functions(const InstallerPlan& plan) {
    std::string text =
        R"(; Sets $ffspack_Quiet to 1 when "-Quiet" is among the arguments, in any
; letter case and anywhere, as the uninstaller finds its own options.
Function ffspack_FindQuiet
  Push $0
  Push $1
  Push $2
  ${GetParameters} $0
  StrCpy $ffspack_Quiet 0
  StrCpy $2 0
  ${Do}
    StrCpy $1 $0 6 $2
    ${If} $1 == "-Quiet"
      StrCpy $ffspack_Quiet 1
      ${ExitDo}
    ${ElseIf} $1 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Records a failure: Push its log line, then its exit code. The first one is
; the run's exit code; each one is a line of the log, which the first creates.
Function ffspack_Fail
  Exch $0
  Exch
  Exch $1
  Push $2
  DetailPrint $1
  ${If} $ffspack_Failure = 0
    StrCpy $ffspack_Failure $0
    StrCpy $ffspack_FailureLine $1
  ${EndIf}
  ClearErrors
  FileOpen $2 )" +
        in_quotes("$TEMP\\" + nsis_escape(product_name(plan) + " Setup.log", NSIS_RUN_TIME)) +
        R"( a
  ${IfNot} ${Errors}
    FileSeek $2 0 END
    FileWrite $2 "$1$\r$\n"
    FileClose $2
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Compares two strings of digits, pushed one after the other, digit by digit
; from the left, a missing digit reading 0. Leaves 1 on the stack when the
; first is larger, -1 when it is smaller, 0 when they are equal.
Function ffspack_CompareDigits
  Exch $1
  Exch
  Exch $0
  Push $2
  Push $3
  Push $4
  StrCpy $2 0
  ${Do}
    StrCpy $3 $0 1 $2
    StrCpy $4 $1 1 $2
    ${If} "$3$4" == ""
      StrCpy $0 0
      ${ExitDo}
    ${EndIf}
    IntOp $3 $3 + 0
    IntOp $4 $4 + 0
    ${If} $3 > $4
      StrCpy $0 1
      ${ExitDo}
    ${ElseIf} $3 < $4
      StrCpy $0 -1
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $4
  Pop $3
  Pop $2
  Exch
  Pop $1
  Exch $0
FunctionEnd

; Sets $ffspack_Newer to 1 when $ffspack_Installed reads as a larger number
; than this version, as the program reads versions: the leading digits and
; dots, a second dot ending them; the whole part, then the fraction's digits.
Function ffspack_CheckNewer
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $1 ""
  StrCpy $2 ""
  StrCpy $3 0
  StrCpy $4 0
  ${Do}
    StrCpy $0 $ffspack_Installed 1 $3
    IntOp $3 $3 + 1
    ; "1" to "9" read as themselves, anything else as 0
    IntOp $5 $0 + 0
    ${If} $0 == "."
    ${AndIf} $4 = 0
      StrCpy $4 1
    ${ElseIf} $5 = 0
    ${AndIf} $0 != "0"
      ${ExitDo}
    ${ElseIf} $4 = 1
      StrCpy $2 "$2$0"
    ${ElseIf} "$1$0" != "0"
      StrCpy $1 "$1$0"
    ${EndIf}
  ${Loop}
  StrLen $3 $1
  StrCpy $ffspack_Newer 0
  ${If} $3 > )" +
        std::to_string(plan.version_parts.whole.size()) + R"(
    StrCpy $ffspack_Newer 1
  ${ElseIf} $3 = )" +
        std::to_string(plan.version_parts.whole.size()) + R"(
    Push $1
    Push )" +
        run_time(plan.version_parts.whole) + R"(
    Call ffspack_CompareDigits
    Pop $0
    ${If} $0 = 0
      Push $2
      Push )" +
        run_time(plan.version_parts.fraction) + R"(
      Call ffspack_CompareDigits
      Pop $0
    ${EndIf}
    ${IfThen} $0 = 1 ${|} StrCpy $ffspack_Newer 1 ${|}
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The installed version's uninstaller removes it first: the one that the
; uninstall entry names, else the one in the install folder. A copy of it runs
; in place from the plug-ins folder (-Spawn) without a box (-Quiet) and is
; waited for; its exit codes 0, 2 and 4 (removed, nothing found, some files
; left) all let the installation go on.
Function ffspack_RemovePrevious
  Push $0
  Push $1
  Push $2
  ReadRegStr $0 HKLM )" +
        in_quotes(uninstall_key(plan)) + R"( "UninstallString"
  StrCpy $1 $0 1
  ${If} $1 == "$\""
    StrCpy $2 1
    ${Do}
      StrCpy $1 $0 1 $2
      ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $1 == "$\"" ${|} ${ExitDo} ${|}
      IntOp $2 $2 + 1
    ${Loop}
    IntOp $2 $2 - 1
    StrCpy $0 $0 $2 1
  ${EndIf}
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} $0
    StrCpy $0 )" +
        in_quotes(plan.uninstaller_path) + R"(
    ${IfNot} ${FileExists} $0
      StrCpy $0 ""
    ${EndIf}
  ${EndIf}
  ${If} $0 != ""
    InitPluginsDir
    SetOutPath $PLUGINSDIR
    DetailPrint "Removing the installed version: $0"
    ClearErrors
    CopyFiles /SILENT $0 "$PLUGINSDIR\previous.exe"
    ExecWait '"$PLUGINSDIR\previous.exe" -Spawn -Quiet' $1
    ${If} ${Errors}
      DetailPrint "The installed version's uninstaller could not be started"
    ${ElseIf} $1 <> 0
    ${AndIf} $1 <> 2
    ${AndIf} $1 <> 4
      DetailPrint "The installed version's uninstaller ended with exit code $1"
    ${EndIf}
  ${EndIf}
  ; Still there, it is the one that started this setup to update the product:
  ; renamed, it makes way for the new one and deletes itself once it has ended.
  ${If} ${FileExists} )" +
        in_quotes(plan.uninstaller_path) + R"(
    Delete )" +
        in_quotes(plan.uninstaller_path) + R"(
    ${If} ${FileExists} )" +
        in_quotes(plan.uninstaller_path) + R"(
      Delete )" +
        in_quotes(plan.uninstaller_path + ".old") + R"(
      Rename )" +
        in_quotes(plan.uninstaller_path) + " " + in_quotes(plan.uninstaller_path + ".old") + R"(
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
)";
    if (!plan.execute_path.empty()) {
        std::string arguments = plan.execute_arguments.empty()
                                    ? ""
                                    : " " + nsis_escape(plan.execute_arguments, NSIS_RUN_TIME);
        text += "\n; The finish page's offer: a program is run, anything else opened.\n"
                "Function ffspack_Execute\n"
                "  SetOutPath \"$INSTDIR\"\n";
        text += plan.execute_is_program
                    ? "  Exec \"$\\\"" + plan.execute_path + "$\\\"" + arguments + "\"\n"
                    : "  ExecShell \"open\" " + in_quotes(plan.execute_path) + " " +
                          in_quotes(arguments.empty() ? "" : arguments.substr(1)) + "\n";
        text += "FunctionEnd\n";
    }
    return text;
}

} // namespace

std::string installer_include(const InstallerPlan& plan) {
    std::string name = product_name(plan) + " " + plan.version;
    std::string text = std::string(g_bom) + "; " + name + R"(: the product's part of its setup.exe,
; written by ffspack installer from the install script. A script of one's own
; uses it as the main script beside it does:
;
;   Unicode true
;   !include "MUI2.nsh"
;   !include "this file"
;   !insertmacro FFSPACK_PRODUCT_ATTRIBUTES
;   (the pages, then !insertmacro MUI_LANGUAGE "English")
;   Section
;     !insertmacro FFSPACK_PRODUCT_INSTALL
;     (one's own steps; on a failure: Push "log line", Push exit code, Call ffspack_Fail)
;     !insertmacro FFSPACK_PRODUCT_FINISH
;   SectionEnd
;   Function .onInit
;     !insertmacro FFSPACK_PRODUCT_INIT
;   FunctionEnd
;   Function .onInstSuccess
;     !insertmacro FFSPACK_PRODUCT_SUCCESS
;   FunctionEnd
;
; Exit codes: 0 installed, 1 installed with -Quiet, 2 aborted, 3 a file, 4 a
; registry value, 5 a shortcut, 6 a component failed, 7 a newer version is
; installed. The pages may show $ffspack_WelcomeTitle, $ffspack_InstallingText
; and $ffspack_ExecuteText with ffspack_Execute, when the script gives them.

!include "LogicLib.nsh"
!include "FileFunc.nsh"

Var ffspack_Quiet
Var ffspack_Failure
Var ffspack_FailureLine
Var ffspack_Installed
Var ffspack_Newer
)";
    if (!plan.registry_path.empty()) {
        text += "Var ffspack_Folder\nVar ffspack_RegisteredVersion\n";
    }
    text += plan.welcome_title.empty() ? "" : "Var ffspack_WelcomeTitle\n";
    text += plan.installing_text.empty() ? "" : "Var ffspack_InstallingText\n";
    text += plan.execute_path.empty() ? "" : "Var ffspack_ExecuteText\n";
    return text + "\n" + attributes(plan) + "\n" + init(plan) + "\n" + install(plan) + "\n" +
           finish(plan) + "\n" + success(plan) + "\n" + functions(plan);
}

std::string installer_target(const std::string& program) {
    // The PE header's offset at 0x3C, its signature, then the machine.
    auto at = [&program](size_t offset, size_t size) {
        unsigned long value = 0;
        for (size_t i = 0; i < size && offset + i < program.size(); ++i) {
            value |= static_cast<unsigned long>(static_cast<unsigned char>(program[offset + i]))
                     << (8 * i);
        }
        return value;
    };
    const unsigned long amd64 = 0x8664;
    unsigned long header = at(0x3C, 4);
    bool pe =
        header + 6 <= program.size() && program.compare(header, 4, std::string("PE\0\0", 4)) == 0;
    return pe && at(header + 4, 2) == amd64 ? "amd64-unicode" : "x86-unicode";
}

std::string installer_main(const InstallerPlan& plan, const std::string& include_path,
                           const std::string& output_path) {
    std::string text = std::string(g_bom) + "; " + product_name(plan) + " " + plan.version +
                       R"(: setup.exe, written by ffspack installer. The product's
; part is the include; this script lays out the pages and calls its macros.
Unicode true
Target )" + plan.target +
                       R"(
SetCompressor /SOLID lzma
!ifdef FFSPACK_OUTFILE
  OutFile "${FFSPACK_OUTFILE}"
!else
  OutFile )" + build_time(output_path) +
                       R"(
!endif
!include "MUI2.nsh"
!include )" + build_time(include_path) +
                       R"(
!insertmacro FFSPACK_PRODUCT_ATTRIBUTES

)";
    if (!plan.welcome_title.empty()) {
        text += "!define MUI_WELCOMEPAGE_TITLE \"$ffspack_WelcomeTitle\"\n";
    }
    text += "!insertmacro MUI_PAGE_WELCOME\n";
    if (!plan.licence_file.empty()) {
        text += "!insertmacro MUI_PAGE_LICENSE " + build_time(plan.licence_file) + "\n";
    }
    if (!plan.registry_path.empty()) {
        text += "!insertmacro MUI_PAGE_DIRECTORY\n";
    }
    if (!plan.installing_text.empty()) {
        text += "!define MUI_PAGE_HEADER_TEXT \"$ffspack_InstallingText\"\n";
    }
    text += "!insertmacro MUI_PAGE_INSTFILES\n";
    if (!plan.execute_path.empty()) {
        text += "!define MUI_FINISHPAGE_RUN\n"
                "!define MUI_FINISHPAGE_RUN_TEXT \"$ffspack_ExecuteText\"\n"
                "!define MUI_FINISHPAGE_RUN_FUNCTION ffspack_Execute\n";
    }
    return text + R"(!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

Section
  !insertmacro FFSPACK_PRODUCT_INSTALL
  !insertmacro FFSPACK_PRODUCT_FINISH
SectionEnd

Function .onInit
  !insertmacro FFSPACK_PRODUCT_INIT
FunctionEnd

Function .onInstSuccess
  !insertmacro FFSPACK_PRODUCT_SUCCESS
FunctionEnd
)";
}
