#include "check.h"

#include <map>
#include <set>

#include "script/keyword_list.h"

namespace {

// What the program keeps of a stored text, and of a name that it expands into
// a path to delete.
const size_t g_text_limit = 159;
const size_t g_name_limit = 143;
// The uninstall question leaves this much of its buffer to the two names.
const size_t g_question_names_limit = 107;

struct Rule {
    const char* keyword;
    int arguments; // -1: any number, the program ignores them
};

const Rule g_rules[] = {{"COMPANY NAME", 1},
                        {"PRODUCT NAME", 1},
                        {"PRODUCT VERSION", 1},
                        {"TEXT", 1},
                        {"BRAND LIST", -1},
                        {"FILE LIST", 1},
                        {"GRADIENT START", -1},
                        {"GRADIENT END", -1},
                        {"FONT", -1},
                        {"STRING", -1},
                        {"REFRESH", -1},
                        {"CREATE GROUP", 1},
                        {"ADD ITEM", 4},
                        {"EXECUTE", -1},
                        {"OLE", 2},
                        {"AGREEMENT", -1},
                        {"MESSAGE", -1},
                        {"LISTSERVER", 3},
                        {"REGISTER", 3},
                        {"BREAK", -1},
                        {"UPDATE URL", 1},
                        {"INSTALL", 0},
                        {"DONE", 1},
                        {"REGISTRY PATH", 1},
                        {"INSTALL SIZE", 1},
                        {"INSTALL DIR", 1},
                        {"INSTALL PATH", 1},
                        {"INSTALL NAME", 1},
                        {"UNINSTALL NAME", 1},
                        {"UPDATE KEY", 1}};
static_assert(sizeof g_rules / sizeof g_rules[0] == SCRIPT_KEYWORD_COUNT,
              "every keyword has its argument count");

// (keyword that must come first, keyword that reads it, what happens otherwise)
const struct {
    const char* first;
    const char* then;
    const char* otherwise;
} g_orders[] = {
    {"REGISTRY PATH", "INSTALL PATH", "the installation folder is not read from the registry"},
    {"INSTALL DIR", "INSTALL PATH", "the installation folder is computed without it"},
    {"FILE LIST", "INSTALL", "none of the listed files is removed"},
    {"UNINSTALL NAME", "INSTALL", "the uninstaller and its uninstall entry stay"},
    {"INSTALL NAME", "INSTALL", "the installer's file stays"},
    {"COMPANY NAME", "REGISTER", "the registration is made without it"},
    {"PRODUCT NAME", "REGISTER", "the registration is made without it"},
    {"PRODUCT VERSION", "REGISTER", "the registration is made without it"},
    {"TEXT", "REGISTER", "the registration is made without it"},
    {"LISTSERVER", "REGISTER", "the registration offers no mailing list"},
    {"UPDATE URL", "DONE", "the update never checks"},
    {"UPDATE KEY", "DONE", "the update is not checked against the key"},
};

} // namespace

bool ffspack_leaves_folder(const std::string& name) {
    bool absolute =
        !name.empty() && (name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':'));
    std::string path = name;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    bool parent = ("\\" + path + "\\").find("\\..\\") != std::string::npos;
    return absolute || parent;
}

std::vector<std::string> ffspack_check_script(const std::string& name,
                                              const std::vector<ScriptCommand>& commands,
                                              const std::vector<int>& lines) {
    std::vector<std::string> warnings;
    std::map<std::string, int> first_line; // of each keyword
    std::map<std::string, std::string> value;
    int group_line = 0;
    int register_item_line = 0;
    int install_line = 0;
    std::set<std::string> removed; // by INSTALL: FILE LIST's and INSTALL NAME's names
    auto warn = [&](int line, const std::string& text) {
        warnings.push_back(name + ":" + std::to_string(line) + ": " + text);
    };
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::string& command = commands[i];
        int line = lines[i];
        std::string keyword;
        std::vector<std::string> arguments;
        ffspack_split_command(command, &keyword, &arguments);
        if (!first_line.count(keyword)) {
            first_line[keyword] = line;
            value[keyword] = arguments[0];
        }
        for (const Rule& rule : g_rules) {
            // An empty argument is one, unless the command takes none.
            int count = static_cast<int>(arguments.size());
            count = count == 1 && arguments[0].empty() && rule.arguments == 0 ? 0 : count;
            if (keyword == rule.keyword && rule.arguments >= 0 && count != rule.arguments) {
                warn(line, keyword + " takes " + std::to_string(rule.arguments) + " argument" +
                               (rule.arguments == 1 ? "" : "s") + ", not " + std::to_string(count) +
                               ": " +
                               (count < rule.arguments ? "the missing ones are read as empty"
                                                       : "the others are ignored"));
            }
        }
        // FILE LIST is read in place, whole; only its names are copied.
        for (size_t a = 0; a < arguments.size() && keyword != "FILE LIST"; ++a) {
            if (arguments[a].size() > g_text_limit) {
                warn(line, keyword + " argument " + std::to_string(a + 1) + " has " +
                               std::to_string(arguments[a].size()) +
                               " characters: the program keeps 159");
            }
        }
        std::vector<std::string> names;
        if (keyword == "FILE LIST") {
            names = ffspack_split(arguments[0], ',');
        } else if (keyword == "UNINSTALL NAME" || keyword == "INSTALL NAME") {
            names = {arguments[0]};
        }
        for (const std::string& file : names) {
            if (file.size() > g_name_limit) {
                warn(line,
                     "the name '" + file.substr(0, 20) + "...' has " + std::to_string(file.size()) +
                         " characters: the program refuses names over 143 and keeps the file");
            } else if (!file.empty() && ffspack_leaves_folder(file)) {
                warn(line, "the name '" + file +
                               "' is absolute or holds '..': the uninstaller would delete outside "
                               "the product's folder");
            }
        }
        if (install_line == 0 && keyword != "UNINSTALL NAME") {
            for (const std::string& file : names) {
                removed.insert(ffspack_upper(file));
            }
        }
        if (keyword == "INSTALL" && install_line == 0) {
            install_line = line;
        }
        if (keyword == "OLE" && install_line != 0 && arguments.size() > 1 &&
            removed.count(ffspack_upper(arguments[1]))) {
            warn(line, "OLE comes after INSTALL (line " + std::to_string(install_line) +
                           "), which deletes '" + arguments[1] +
                           "': the component stays registered, as it is deleted before it is "
                           "unregistered");
        }
        // Every address that is not https:// travels in plain text.
        if (keyword == "REGISTER" && ffspack_upper(arguments[0].substr(0, 8)) != "HTTPS://") {
            warn(line, "REGISTER sends the registrant's name, address, e-mail and telephone "
                       "unencrypted to '" +
                           arguments[0] + "': use an https:// address");
        }
        if (keyword == "CREATE GROUP") {
            group_line = line;
        } else if (keyword == "ADD ITEM") {
            if (group_line == 0) {
                warn(line, "ADD ITEM before any CREATE GROUP: its shortcut is looked for in the "
                           "Programs folder itself");
            }
            if (arguments.size() > 2 && ffspack_upper(arguments[2]) == "-REGISTER" &&
                register_item_line == 0) {
                register_item_line = line;
            }
        }
    }
    for (const auto& order : g_orders) {
        auto first = first_line.find(order.first);
        auto then = first_line.find(order.then);
        if (first != first_line.end() && then != first_line.end() && first->second > then->second) {
            warn(first->second, std::string(order.first) + " comes after " + order.then +
                                    " (line " + std::to_string(then->second) +
                                    "): " + order.otherwise);
        }
    }
    auto done = first_line.find("DONE");
    if (register_item_line != 0 && done != first_line.end() && register_item_line > done->second) {
        warn(register_item_line, "the registration shortcut's ADD ITEM comes after DONE (line " +
                                     std::to_string(done->second) +
                                     "): the shortcut is not removed once registered");
    }
    if (first_line.count("COMPANY NAME") && first_line.count("PRODUCT NAME") &&
        value["COMPANY NAME"].size() + 1 + value["PRODUCT NAME"].size() > g_question_names_limit) {
        warn(first_line["PRODUCT NAME"], "the company and product names are too long together: "
                                         "the uninstall question cuts them");
    }
    int last = lines.empty() ? 0 : lines.back();
    if (!first_line.count("INSTALL")) {
        warn(last, "no INSTALL: the uninstaller removes nothing");
    }
    if (!first_line.count("DONE")) {
        warn(last, "no DONE: no uninstall entry is removed, no notice, no registration "
                   "clean-up and no update");
    }
    return warnings;
}
