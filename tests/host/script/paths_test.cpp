// Script names to full paths: the macro walk over the fake folders and
// registry. Sources and outputs are heap blocks of their exact size, so that
// any read or write past them stops the test.
#include "script/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "fakes/paths_fake.h"
#include "fakes/registry_fake.h"
#include "script/install_state.h"
#include "support/log_file.h"

namespace {

const char g_install_path[] = "C:\\Program Files\\Acme\\Tool\\";
const char g_current_version[] = "Software\\Microsoft\\Windows\\CurrentVersion";

struct Expanded {
    int result;
    std::string path;
};

class ExpandPath : public testing::Test {
  protected:
    void SetUp() override {
        paths_fake_reset();
        registry_fake_reset();
        log_path_ = open_test_log("expand_path.log", LOG_FILE);
        text_copy(state_.install_path, sizeof state_.install_path, g_install_path);
    }
    void TearDown() override {
        EXPECT_EQ(0, registry_fake_open_keys());
        log_close();
    }

    Expanded expand(const char* source, int size = PATHS_FOLDER_SIZE) {
        std::vector<char> name(source, source + strlen(source) + 1);
        std::vector<char> output(static_cast<size_t>(size));
        int result = expand_path(&state_, name.data(), output.data(), size);
        return {result, output.data()};
    }
    void set_program_files_dir(const char* folder) {
        RegKey key = nullptr;
        reg_create_key(&key, REG_ROOT_LOCAL_MACHINE, g_current_version);
        if (folder) {
            reg_set_string(key, "ProgramFilesDir", folder);
        }
        reg_close_key(&key);
    }
    std::string log() const { return read_file(log_path_); }

    InstallState state_ = {};
    std::string log_path_;
};

TEST_F(ExpandPath, NamesWithoutMacroFollowTheInstallPath) {
    struct Case {
        const char* source;
        const char* path;
    } cases[] = {
        {"readme.txt", "C:\\Program Files\\Acme\\Tool\\readme.txt"},
        {"\\readme.txt", "C:\\Program Files\\Acme\\Tool\\readme.txt"},
        {"\\\\readme.txt", "C:\\Program Files\\Acme\\Tool\\\\readme.txt"},
        {"bin\\tool.exe", "C:\\Program Files\\Acme\\Tool\\bin\\tool.exe"},
        {"a$4b", "C:\\Program Files\\Acme\\Tool\\a$4b"},
        {"", "C:\\Program Files\\Acme\\Tool\\"},
    };
    for (const auto& c : cases) {
        Expanded expanded = expand(c.source);
        EXPECT_EQ(1, expanded.result) << c.source;
        EXPECT_EQ(c.path, expanded.path) << c.source;
    }
    EXPECT_EQ("", log());
}

TEST_F(ExpandPath, EachMacroReplacesWhatWasBuiltBefore) {
    struct Case {
        const char* source;
        const char* path;
    } cases[] = {
        {"$1x.dll", "C:\\Windows\\x.dll"}, {"$2x.dll", "C:\\Windows\\System32\\x.dll"},
        {"$3x.dll", "C:\\Acme\\x.dll"},    {"$4setup.log", "C:\\Temp\\setup.log"},
        {"$5x.dll", "C:\\Work\\x.dll"},    {"$1$2x.dll", "C:\\Windows\\System32\\x.dll"},
        {"$4\\x.dll", "C:\\Temp\\x.dll"},  {"$?x.dll", "C:\\Program Files\\Acme\\Tool\\x.dll"},
        {"$4$?x.dll", "C:\\Temp\\x.dll"},
    };
    for (const auto& c : cases) {
        Expanded expanded = expand(c.source);
        EXPECT_EQ(1, expanded.result) << c.source;
        EXPECT_EQ(c.path, expanded.path) << c.source;
    }
    EXPECT_EQ("", log());
}

TEST_F(ExpandPath, AnUnknownMacroIsLoggedAndLeavesTheResult) {
    EXPECT_EQ("C:\\Program Files\\Acme\\Tool\\x.dll", expand("$9x.dll").path);
    EXPECT_EQ("C:\\Temp\\x.dll", expand("$4$Zx.dll").path);
    EXPECT_EQ("Unknown command '9'\nUnknown command 'Z'\n", log());
}

TEST_F(ExpandPath, ADollarThatEndsTheNameNamesNothing) {
    EXPECT_EQ(g_install_path, expand("$").path);
    EXPECT_EQ("C:\\Temp\\", expand("$4$").path);
    EXPECT_EQ("", log());
}

TEST_F(ExpandPath, ProgramFilesFallsBackToTheSystemDrive) {
    paths_fake_set({"C:\\Work\\", "C:\\Temp\\", "D:\\WinNT\\", "D:\\WinNT\\System32\\", "C:\\"});
    EXPECT_EQ("D:\\Program Files\\x.dll", expand("$0x.dll").path);
    EXPECT_EQ("Unable to get Program Files path\n$0 Translates to 'D:\\Program Files\\'\n", log());
}

TEST_F(ExpandPath, ProgramFilesWithoutTheValueKeepsTheFallback) {
    set_program_files_dir(nullptr);
    EXPECT_EQ("C:\\Program Files\\", expand("$0").path);
    EXPECT_EQ("Unable to get 'ProgramFilesDir' string\n$0 Translates to 'C:\\Program Files\\'\n",
              log());
}

TEST_F(ExpandPath, ProgramFilesFromTheRegistryEndsInABackslash) {
    struct Case {
        const char* value;
        const char* path;
    } cases[] = {
        {"E:\\Apps", "E:\\Apps\\x.dll"},
        {"E:\\Apps\\", "E:\\Apps\\x.dll"},
        {"", "\\x.dll"},
    };
    for (const auto& c : cases) {
        set_program_files_dir(c.value);
        EXPECT_EQ(c.path, expand("$0x.dll").path) << c.value;
    }
    EXPECT_EQ("$0 Translates to 'E:\\Apps\\'\n$0 Translates to 'E:\\Apps\\'\n"
              "$0 Translates to '\\'\n",
              log());
}

TEST_F(ExpandPath, AnEmptyInstallPathLeavesTheNameLessOneBackslash) {
    state_.install_path[0] = '\0';
    EXPECT_EQ("readme.txt", expand("readme.txt").path);
    EXPECT_EQ("readme.txt", expand("\\readme.txt").path);
    EXPECT_EQ("", expand("").path);
}

TEST_F(ExpandPath, ForwardSlashesFromTheSystemBecomeBackslashes) {
    paths_fake_set({"C:/Work", "C:/Temp/", "C:/Windows", "C:/Windows/System32", "C:/Acme/"});
    EXPECT_EQ("C:\\Temp\\a/b.txt", expand("$4a/b.txt").path);
    EXPECT_EQ("C:\\Windows\\x", expand("$1x").path);
    EXPECT_EQ("C:\\Acme\\x", expand("$3x").path);
}

TEST_F(ExpandPath, AResultTooLongForTheBufferIsCutShort) {
    std::string name(200, 'n');
    Expanded expanded = expand(name.c_str(), 144);
    EXPECT_EQ(0, expanded.result);
    EXPECT_EQ((g_install_path + name).substr(0, 143), expanded.path);

    std::string folder = "C:\\" + std::string(250, 'f');
    paths_fake_set({"C:\\", folder.c_str(), "C:\\Windows\\", "C:\\Windows\\System32\\", "C:\\"});
    expanded = expand("$4x", 144);
    EXPECT_EQ(0, expanded.result);
    EXPECT_EQ((folder + "\\x").substr(0, 143), expanded.path);

    // A later macro replaces the cut result, and the rest fits again.
    expanded = expand("$4$1x", 144);
    EXPECT_EQ(1, expanded.result);
    EXPECT_EQ("C:\\Windows\\x", expanded.path);

    expanded = expand("x", 10);
    EXPECT_EQ(0, expanded.result);
    EXPECT_EQ("C:\\Progra", expanded.path);
}

TEST_F(ExpandPath, ALongProgramFilesValueIsCutToTheBuffer) {
    std::string value = "E:\\" + std::string(150, 'p');
    set_program_files_dir(value.c_str());
    Expanded expanded = expand("$0x", 144);
    EXPECT_EQ(0, expanded.result);
    EXPECT_EQ(value.substr(0, 143), expanded.path);
    EXPECT_EQ("$0 Translates to '" + value.substr(0, 143) + "'\n", log());
}

TEST(FixSlashes, SlashesTurnAndTheTrailingBackslashIsAddedOnlyForFlagOne) {
    struct Case {
        const char* text;
        int size;
        int trailing;
        int result;
        const char* fixed;
    } cases[] = {
        {"C:/a/b", 20, 1, 1, "C:\\a\\b\\"},
        {"C:/a/b/", 20, 1, 1, "C:\\a\\b\\"},
        {"C:\\a", 20, 0, 1, "C:\\a"},
        {"C:\\a", 20, 2, 1, "C:\\a"},
        {"", 20, 1, 1, "\\"},
        {"", 1, 1, 0, ""},
        {"abc", 5, 1, 1, "abc\\"},
        {"abcd", 5, 1, 0, "abcd"},
        {"ab/", 4, 1, 1, "ab\\"},
    };
    for (const auto& c : cases) {
        std::vector<char> text(static_cast<size_t>(c.size));
        text_copy(text.data(), c.size, c.text);
        EXPECT_EQ(c.result, fix_slashes(text.data(), c.size, c.trailing)) << c.text;
        EXPECT_STREQ(c.fixed, text.data()) << c.text;
    }
}

} // namespace
