// The removal commands, file removal, path macros, shortcuts and components
// on the in-memory drive and registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "driver/identity.h"
#include "fakes/registry_fake.h"
#include "fakes/script_fakes.h"
#include "platform/files.h"
#include "script/file_removal.h"
#include "script/paths.h"
#include "script/script_fixture.h"
#include "script/shortcuts.h"

namespace {

using Paths = std::vector<std::string>;

const std::string g_folder = "C:\\Program Files\\Acme\\Tool\\";
const std::string g_programs = "C:\\Users\\Ann\\Start Menu\\Programs";
const char g_product_key[] = "Software\\Acme\\Tool";
const char g_entry_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Tool";
const std::string g_translates = "$0 Translates to 'C:\\Program Files\\'\n";
const std::string g_long(200, 'n');

// Sets a string value, or only creates the key when `name` is null.
void set(int root, const char* key_path, const char* name, const std::string& value) {
    RegKey key = nullptr;
    reg_create_key(&key, root, key_path);
    if (name) {
        reg_set_string(key, name, value.c_str());
    }
    reg_close_key(&key);
}

// The product as its installer leaves it, beside another one.
void install() {
    for (const char* name : {"tool.exe", "a.txt", "b.txt", "help\\tool.hlp", "helpers.txt",
                             "help\\x.hlp", "uninstall.exe"}) {
        files_fake_add(g_folder + name);
    }
    for (const std::string& path :
         {std::string("C:\\Temp\\setup.log"), g_programs + "\\Other.lnk",
          std::string("C:\\Acme\\acme.ini"), g_programs + "\\Acme Tool\\Tool.lnk",
          std::string("C:\\Program Files\\Other\\other.exe")}) {
        files_fake_add(path);
    }
    set(REG_ROOT_CURRENT_USER, g_product_key, "Install Path", g_folder);
    set(REG_ROOT_LOCAL_MACHINE, g_entry_key, nullptr, "");
}

void program_files() {
    set(REG_ROOT_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
        "C:\\Program Files");
}

std::string script(const std::string& names) {
    return S("~COMPANY NAME:Acme|~PRODUCT NAME:Tool|~REGISTRY PATH:Software\\Acme\\Tool|"
             "~INSTALL DIR:Acme\\Tool|~INSTALL PATH:Installing|~FILE LIST:" +
             names + "|~UNINSTALL NAME:uninstall.exe|~INSTALL NAME:$3acme.ini|~INSTALL:|" +
             "~CREATE GROUP:Acme Tool|~ADD ITEM:1\ttool.exe\t/x\tTool|" +
             "~OLE:REGISTER\t$2comp.ocx|~DONE:x|");
}

class Uninstall : public ScriptTest {
  protected:
    void SetUp() override {
        ScriptTest::SetUp();
        platform_fake_reset();
        registry_fake_reset();
        window_fake_calls().clear();
        current_group_clear();
        program_files();
    }
    void TearDown() override {
        EXPECT_EQ(0, registry_fake_open_keys());
        ScriptTest::TearDown();
    }
};

TEST_F(Uninstall, YesRemovesTheFilesTheFoldersTheyEmptyTheShortcutsAndTheEntry) {
    install();
    const std::string question = "confirm: Are you sure you want to uninstall Acme Tool?\n";
    // A No, a folder too long to read and a missing key are the uninstall scenarios'.
    // Names with a macro are expanded in their turn; a cut name is refused.
    ASSERT_EQ(1,
              run(script("tool.exe,a.txt,b.txt,gone.txt,help\\tool.hlp,helpers.txt,$9help\\x.hlp,"
                         "$4setup.log," +
                         g_long)));
    const std::string f = g_folder;
    const std::string group = g_programs + "\\Acme Tool";
    const std::string system = "C:\\Windows\\System32\\comp.ocx";
    auto del = [](const std::string& path) { return "Delete file '" + path + "'\n"; };
    auto dir = [](const std::string& path) { return "Deleting '" + path + "'\n"; };
    EXPECT_EQ(g_translates + del(f + "tool.exe") + del(f + "a.txt") + del(f + "b.txt") +
                  del(f + "gone.txt") + "Unable to delete file '" + f + "gone.txt'\n" +
                  del(f + "help\\tool.hlp") + del(f + "helpers.txt") + "Unknown command '9'\n" +
                  del(f + "help\\x.hlp") + dir(f + "help\\") + del("C:\\Temp\\setup.log") +
                  dir("C:\\Temp\\") + "Path too long '" + (f + g_long).substr(0, 143) + "'\n" +
                  del(f + "uninstall.exe") + dir(f) + dir("C:\\Program Files\\Acme") +
                  del("C:\\Acme\\acme.ini") + dir("C:\\Acme\\") + "Delete Group = '" + group +
                  "'\nDelete Item = 'Acme Tool' : 'Tool' ('tool.exe' / '/x')\n" +
                  del(group + "\\Tool.lnk") + dir(group + "\\") + "OLE: REGISTER '" + system +
                  "'\nError attempting to load '" + system + "' (0x0000007E)\n" +
                  "Delete key 'Software\\Acme\\Tool'\nDelete key 'Software\\Acme'\n" +
                  summary("Acme", "Tool", 9, f, "Acme\\Tool\\"),
              log());
    EXPECT_EQ(question + "notify[Uninstaller...]: Acme Tool has been uninstalled!\n", boxes());
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\other.exe", "C:\\Users", "C:\\Users\\Ann",
                     "C:\\Users\\Ann\\Start Menu", g_programs, g_programs + "\\Other.lnk"}),
              files_fake_paths());
    // A folder is listed only when the next name lies elsewhere, is missing or
    // waits for its macro.
    EXPECT_EQ(13, files_fake_listings);
    EXPECT_FALSE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
    EXPECT_EQ("software\n", registry_fake_keys(REG_ROOT_CURRENT_USER));
    std::string progress = "show 1\n";
    for (int step = 0; step < 9; ++step) {
        progress += std::to_string(step * 100.0 / 9) + "\n";
    }
    EXPECT_EQ(progress + "show 0\n", window_fake_calls());
}

TEST_F(Uninstall, WhatStaysIsNamedAndCountedAndAWaitingUninstallerIsLeftForLast) {
    const std::string f = g_folder;
    const std::string except = "notify[Uninstaller...]: Acme Tool has been uninstalled, except for "
                               "these files, which could not be deleted:\n";
    // clang-format off
    const struct { bool installed; Paths held; int waits; int count; std::string notice; } cases[] = {
        {false, {}, 0, 0, "notify: Unable to find previous installation; files could not be removed.\n"},
        {true, {f + "a.txt", "C:\\Acme", f + "help\\tool.hlp"}, 0, 3,
         except + f + "a.txt\n" + f + "help\\tool.hlp\nC:\\Acme\\\n"},
        {true, {f + "tool.exe", f + "a.txt", g_programs + "\\Acme Tool\\Tool.lnk", "C:\\Acme"}, 1, 4,
         except + f + "tool.exe\n" + f + "a.txt\nC:\\Acme\\\nand 1 more.\n"}};
    // clang-format on
    for (const auto& c : cases) {
        platform_fake_reset();
        if (c.installed) {
            install();
        }
        files_fake_held = c.held;
        // A file that was gone already is no leftover.
        ASSERT_EQ(1, run(script("tool.exe,a.txt,gone.txt,help\\tool.hlp"), RUN_UNINSTALL, c.waits));
        const std::string question = "confirm: Are you sure you want to uninstall Acme Tool?\n";
        EXPECT_EQ(question + c.notice, boxes());
        EXPECT_EQ(c.count, state_->leftovers.count);
        EXPECT_EQ(!c.installed, state_->install_missing);
        const std::string uninstaller = f + "uninstall.exe";
        const bool deleted = log().find("Delete file '" + uninstaller + "'") != std::string::npos;
        EXPECT_EQ(c.installed && !c.waits, deleted);
        EXPECT_EQ(c.waits ? uninstaller : "", state_->deferred_file);
        // The product's key stays for the run that finishes the removal.
        EXPECT_EQ(c.installed, reg_key_exists(REG_ROOT_CURRENT_USER, g_product_key));
    }
    EXPECT_EQ(0, files_fake_delete_wait);
    files_fake_add(f + "uninstall.exe");
    EXPECT_EQ(1, delete_file_patiently((f + "uninstall.exe").c_str(), 5000, nullptr));
    EXPECT_EQ(5000, files_fake_delete_wait);
    EXPECT_EQ(0, file_exists((f + "uninstall.exe").c_str()));
}

TEST_F(Uninstall, AnInstallPathWithoutAnEightBitFormRemovesNothing) {
    install();
    const Paths before = files_fake_paths();
    registry_fake_unnamed_paths = {g_folder};
    ASSERT_EQ(1, run(script("tool.exe,a.txt")));
    const std::string refused =
        "Path '" + g_folder + "' is outside the code page and has no short name\n";
    // Refused when INSTALL PATH reads it, and again when INSTALL does.
    EXPECT_EQ(g_translates + refused + refused,
              log().substr(0, g_translates.size() + 2 * refused.size()));
    EXPECT_EQ("confirm: Are you sure you want to uninstall Acme Tool?\n"
              "notify: Unable to find previous installation; files could not be removed.\n",
              boxes());
    EXPECT_EQ(1, state_->install_missing);
    EXPECT_EQ(before, files_fake_paths());
    EXPECT_TRUE(reg_key_exists(REG_ROOT_CURRENT_USER, g_product_key));
}

TEST_F(Uninstall, ACompleteRemovalDeletesTheProductsKeyAndEachParentItEmpties) {
    const std::string tool = "software\\acme\\tool";
    const std::string above = "software\nsoftware\\acme\n";
    const std::string untouched = above + tool + ": Install Path,Version,Registered Version\n";
    const std::string deleted_tool = "Delete key 'Software\\Acme\\Tool'\n";
    // The product's key, REGISTRY PATH ("": none), the answer, whether the script has INSTALL,
    // another key or a value beside it, the keys deleted and what is left.
    // clang-format off
    const struct { const char* key; const char* path; int answer; bool install; const char* other;
                   const char* other_value; std::string deleted, left; } cases[] = {
        {g_product_key, g_product_key, 1, true, nullptr, nullptr,
         deleted_tool + "Delete key 'Software\\Acme'\n", "software\n"},
        // The parent holds another product's key, or a value.
        {g_product_key, g_product_key, 1, true, "Software\\Acme\\Other", nullptr, deleted_tool,
         above + "software\\acme\\other\n"},
        {g_product_key, g_product_key, 1, true, "Software\\Acme", "Shared", deleted_tool,
         "software\nsoftware\\acme: Shared\n"},
        // A subkey stays, and its key with it, less the installer's and the registration's values.
        {g_product_key, g_product_key, 1, true, "Software\\Acme\\Tool\\Settings", nullptr, "",
         above + tool + ": Version\n" + tool + "\\settings\n"},
        // The first component of the path never goes; nor does the maker's key.
        {"Acme\\Tool", "Acme\\Tool", 1, true, nullptr, nullptr, "Delete key 'Acme\\Tool'\n", "acme\n"},
        {PROGRAM_MAKER_KEY, PROGRAM_MAKER_KEY, 1, true, nullptr, nullptr, "",
         "software\nsoftware\\pelmora\nsoftware\\pelmora\\installer: Version\n"},
        // Nothing goes after a No, without INSTALL, or without a key of the product's.
        {g_product_key, g_product_key, 0, true, nullptr, nullptr, "", untouched},
        {g_product_key, g_product_key, 1, false, nullptr, nullptr, "", untouched},
        {g_product_key, "", 1, true, nullptr, nullptr, "", untouched}};
    // clang-format on
    for (const auto& c : cases) {
        registry_fake_reset();
        program_files();
        platform_fake_reset();
        message_fake_reset(c.answer);
        files_fake_add(g_folder + "a.txt");
        for (const char* name : {"Install Path", "Version", "Registered Version"}) {
            set(REG_ROOT_CURRENT_USER, c.key, name, g_folder);
        }
        if (c.other) {
            set(REG_ROOT_CURRENT_USER, c.other, c.other_value, "1");
        }
        const std::string path = c.path;
        ASSERT_EQ(1, run(S((path.empty() ? "" : "~REGISTRY PATH:" + path + "|") +
                           "~INSTALL DIR:Acme\\Tool|~INSTALL PATH:x|~FILE LIST:a.txt|" +
                           (c.install ? "~INSTALL:|" : "") + "~DONE:x|")));
        std::string deleted;
        const std::string all = log();
        for (size_t at = all.find("Delete key"); at != std::string::npos;
             at = all.find("Delete key", at + 1)) {
            deleted += all.substr(at, all.find('\n', at) + 1 - at);
        }
        EXPECT_EQ(c.deleted, deleted) << path;
        EXPECT_EQ(c.left, registry_fake_keys(REG_ROOT_CURRENT_USER)) << path;
    }
}

TEST_F(Uninstall, ShortcutsThatDoNotFitOrAreNotFullAreNeverDeleted) {
    files_fake_add(g_programs + "\\" + g_long.substr(0, 159) + ".lnk");
    ASSERT_EQ(1, run(S("~ADD ITEM:1\tt\t\t" + g_long + "|~CREATE GROUP:" + g_long +
                       "|~ADD ITEM:1\tt\t\tTool|")));
    EXPECT_EQ(std::string::npos, log().find("Delete file"));
    const std::string item = "Delete Item = 'Acme' : 'Tool' ('t.exe' / '')\n";
    // clang-format off
    const struct { const char* programs; std::string lines; } shells[] = {
        {"", "Delete Group = '\\Acme'\n" + item + "Not a full path '\\Acme\\Tool.lnk'\n"},
        {"C:\\", "Delete Group = 'C:\\Acme'\n" + item + "Delete file 'C:\\Acme\\Tool.lnk'\n" +
                  "Unable to delete file 'C:\\Acme\\Tool.lnk'\nError opening 'C:\\Acme\\'\n"}};
    // clang-format on
    for (const auto& c : shells) {
        shell_folder_fake_programs = c.programs;
        ASSERT_EQ(1, run(S("~CREATE GROUP:Acme|~ADD ITEM:1\tt.exe\t\tTool|")));
        EXPECT_EQ(c.lines + summary("", "", 0, "", ""), log());
    }
}

TEST_F(Uninstall, AComponentFailsOnlyWhenItsEntryPointReturnsANegativeCode) {
    const std::string component = "C:\\Windows\\System32\\comp.ocx";
    const std::string failed = "Failed in executing entry point from '" + component + "'\n";
    for (const auto& [result, lines] :
         {std::pair<int, std::string>{0, ""}, {1, ""}, {-1, failed}}) {
        library_fake_results = {{component, result}};
        ASSERT_EQ(1, run(S("~OLE:REGISTER\t$2comp.ocx|")));
        EXPECT_EQ("OLE: REGISTER '" + component + "'\n" + lines + summary("", "", 0, "", ""), log())
            << result;
    }
}

TEST_F(Uninstall, RemovalPrunesEmptiedFoldersAndUsesOnlyWholeFullPaths) {
    files_fake_add("C:\\P\\..hidden"); // counts as no entry, yet keeps the folder
    files_fake_add("C:\\P\\Sub", true);
    files_fake_add("C:\\Tool\\.profile");
    files_fake_add("C:/Fwd/Sub/x.txt");
    const std::string cut = "C:\\" + std::string(REMOVAL_FOLDER_SIZE, 'f');
    // The next file of the same folder spares its listing, unless its name begins with "..".
    for (const char* path : {"C:\\Q\\a.txt", "C:\\Q\\b.txt", "C:\\Q\\..c"}) {
        files_fake_add(path);
    }
    EXPECT_EQ(1, delete_file_before("C:\\Q\\a.txt", "C:\\Q\\b.txt", nullptr));
    EXPECT_EQ(1, delete_file_before("C:\\Q\\b.txt", "C:\\Q\\..c", nullptr));
    EXPECT_EQ(1, remove_empty_dirs("C:\\P\\Sub", nullptr));
    EXPECT_EQ(0, remove_empty_dirs("C:\\Missing\\", nullptr));
    EXPECT_EQ(1, remove_empty_dirs("C:\\Tool", nullptr));
    EXPECT_EQ(0, remove_empty_dirs(cut.c_str(), nullptr));
    EXPECT_EQ(1, delete_file(cut.c_str(), nullptr));
    EXPECT_EQ(1, delete_file("C:/Fwd/Sub/x.txt", nullptr));
    for (const char* path : {"A:\\a", "z:/a", "\\\\server\\a"}) {
        EXPECT_EQ(1, path_is_usable(path, 1)) << path;
    }
    EXPECT_EQ(0, path_is_usable("C:\\a", 0));
    for (const char* path : {"1:\\a", "{:\\a", "\\a", "C:a"}) {
        EXPECT_EQ(0, path_is_usable(path, 1)) << path;
    }
    EXPECT_EQ("Delete file 'C:\\Q\\a.txt'\nDelete file 'C:\\Q\\b.txt'\nDeleting 'C:\\Q\\'\n"
              "Unable to delete dir 'C:\\Q\\'\nDeleting 'C:\\P\\Sub'\nDeleting 'C:\\P'\nUnable to "
              "delete dir 'C:\\P'\n"
              "Error opening 'C:\\Missing\\'\nPath too long '" +
                  cut.substr(0, 319) + "'\nDelete file '" + cut + "'\nUnable to delete file '" +
                  cut + "'\nDelete file 'C:/Fwd/Sub/x.txt'\nDeleting 'C:/Fwd/Sub/'\n" +
                  "Deleting 'C:/Fwd'\nPath too long 'C:\\a'\nNot a full path '1:\\a'\n" +
                  "Not a full path '{:\\a'\nNot a full path '\\a'\nNot a full path 'C:a'\n",
              log());
}

TEST_F(Uninstall, MacrosReplaceWhatWasBuiltAndTheRestFollowsLessOneBackslash) {
    InstallState state{};
    text_copy(state.install_path, sizeof state.install_path, g_folder.c_str());
    // A leading '@' stands for the installation folder.
    const std::string fits(143 - g_folder.size(), 'n');
    // clang-format off
    const struct { std::string source; std::string path; int whole; } cases[] = {
        {"\\a.txt", "@a.txt", 1}, {"\\\\r", "@\\r", 1}, {"a$4b", "@a$4b", 1}, {"", "@", 1},
        {"$1x", "C:\\Windows\\x", 1}, {"$5x", "C:\\Work\\x", 1}, {"$?x", "@x", 1}, {"$", "@", 1},
        {"$4$?x", "C:\\Temp\\x", 1}, {"$4$", "C:\\Temp\\", 1}, {fits, "@" + fits, 1},
        {"$1$2\\x", "C:\\Windows\\System32\\x", 1}, {fits + "n", "@" + fits, 0},
        {"$4" + g_long, "C:\\Temp\\" + g_long.substr(0, 135), 0}};
    // clang-format on
    for (const auto& c : cases) {
        std::vector<char> source(c.source.c_str(), c.source.c_str() + c.source.size() + 1);
        std::vector<char> output(144);
        std::string path = c.path[0] == '@' ? g_folder + c.path.substr(1) : c.path;
        EXPECT_EQ(c.whole, expand_path(&state, source.data(), output.data(), 144)) << c.source;
        EXPECT_EQ(path, output.data()) << c.source;
    }
    // A Program Files folder that the code page cannot name leaves no usable path; without
    // the key, the system drive's stands in.
    char output[PATHS_FOLDER_SIZE];
    registry_fake_unnamed_paths = {"C:\\Program Files"};
    EXPECT_EQ(0, expand_path(&state, "$0x", output, sizeof output));
    EXPECT_STREQ("\\x", output);
    registry_fake_reset();
    EXPECT_EQ(1, expand_path(&state, "$0", output, sizeof output));
    EXPECT_EQ("Path 'C:\\Program Files' is outside the code page and has no short name\n$0 "
              "Translates to '\\'\nUnable to get Program Files path\n" +
                  g_translates,
              log());
}

} // namespace
