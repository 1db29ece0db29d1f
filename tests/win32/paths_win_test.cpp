// The folder queries and the path macros against the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/text.h"
#include "script/install_state.h"
#include "script/paths.h"
#include "support/log_file.h"

namespace {

std::string with_backslash(std::string folder) {
    if (folder.empty() || folder.back() != '\\') {
        folder += '\\';
    }
    return folder;
}

std::string windows_dir() {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

std::string system_dir() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

std::string temp_dir() {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return folder;
}

std::string module_dir() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string module = path;
    return module.substr(0, module.rfind('\\') + 1);
}

std::string query(int (*get)(char*, int), int size = PATHS_FOLDER_SIZE) {
    std::string folder(static_cast<size_t>(size), '#');
    EXPECT_EQ(1, get(&folder[0], size));
    return folder.c_str();
}

TEST(FolderQueries, EachFolderEndsInOneBackslash) {
    EXPECT_EQ(with_backslash(windows_dir()), query(get_windows_dir));
    EXPECT_EQ(with_backslash(system_dir()), query(get_system_dir));
    EXPECT_EQ(with_backslash(temp_dir()), query(get_temp_dir));
    EXPECT_EQ(module_dir(), query(get_module_dir));
}

TEST(FolderQueries, TheCurrentFolderFollowsTheProcess) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ("C:\\", query(get_current_dir));
    ASSERT_TRUE(SetCurrentDirectoryA(windows_dir().c_str()));
    EXPECT_EQ(with_backslash(windows_dir()), query(get_current_dir));
    SetCurrentDirectoryA(saved);
}

TEST(FolderQueries, AnAnswerThatDoesNotFitLeavesAnEmptyFolder) {
    int size = static_cast<int>(windows_dir().size());
    EXPECT_EQ("\\", query(get_windows_dir, size));
    EXPECT_EQ(with_backslash(windows_dir()), query(get_windows_dir, size + 2));
    EXPECT_EQ("\\", query(get_system_dir, 4));
    EXPECT_EQ("\\", query(get_temp_dir, 4));
    EXPECT_EQ("\\", query(get_current_dir, 2));
    EXPECT_EQ("", query(get_module_dir, 5));
}

class ExpandPathWin : public testing::Test {
  protected:
    void SetUp() override {
        log_path_ = open_test_log("paths_win.log", LOG_FILE);
        text_copy(state_.install_path, sizeof state_.install_path, "C:\\Acme\\");
    }
    void TearDown() override { log_close(); }
    std::string expand(const char* source) {
        char output[144];
        expand_path(&state_, source, output, sizeof output);
        return output;
    }
    InstallState state_ = {};
    std::string log_path_;
};

TEST_F(ExpandPathWin, ProgramFilesComesFromTheRegistryWithABackslash) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_READ, &key));
    char value[MAX_PATH] = "";
    DWORD length = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(value), &length));
    RegCloseKey(key);
    std::string folder = with_backslash(value);

    EXPECT_EQ(folder + "Acme\\x.dll", expand("$0Acme\\x.dll"));
    EXPECT_EQ("$0 Translates to '" + folder + "'\n", read_file(log_path_));
}

TEST_F(ExpandPathWin, MacrosNameTheSystemsFolders) {
    EXPECT_EQ(with_backslash(system_dir()) + "x.dll", expand("$1$2x.dll"));
    EXPECT_EQ(with_backslash(temp_dir()) + "setup.log", expand("$4setup.log"));
    EXPECT_EQ(module_dir() + "x.dll", expand("$3\\x.dll"));
    EXPECT_EQ("C:\\Acme\\readme.txt", expand("\\readme.txt"));
    EXPECT_EQ("", read_file(log_path_));
}

} // namespace
