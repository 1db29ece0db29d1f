// Relocations that must start nothing: a temporary folder or command line
// that does not fit, or a temporary folder that cannot take the copy. The
// successful relocation is an end-to-end scenario, since it starts a process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "driver/relocate.h"
#include "support/log_file.h"

namespace {

class RelocateRefusal : public testing::Test {
  protected:
    void SetUp() override {
        GetEnvironmentVariableA("TMP", saved_, sizeof saved_);
        folder_ = log_file_path("relocate_tmp");
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_EQ(0, entries(folder_));
        log_path_ = open_test_log("relocate_win.log", LOG_FILE);
    }
    void TearDown() override {
        SetEnvironmentVariableA("TMP", saved_);
        log_close();
        RemoveDirectoryA(folder_.c_str());
    }
    static int entries(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        int count = 0;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                count += found.cFileName[0] != '.';
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        return count;
    }
    std::string log() const { return read_file(log_path_); }

    char saved_[MAX_PATH] = "";
    std::string folder_;
    std::string log_path_;
};

TEST_F(RelocateRefusal, ACommandLineOver511CharactersStartsNothing) {
    SetEnvironmentVariableA("TMP", folder_.c_str());
    std::string arguments(600, 'a');
    EXPECT_EQ(1, relocate_and_spawn(arguments.c_str()));
    EXPECT_EQ("Unable to relocate: command line too long\n", log());
    EXPECT_EQ(0, entries(folder_));
}

TEST_F(RelocateRefusal, ATemporaryFolderOver143CharactersStartsNothing) {
    std::string long_folder = "C:\\" + std::string(150, 't');
    SetEnvironmentVariableA("TMP", long_folder.c_str());
    EXPECT_EQ(1, relocate_and_spawn(nullptr));
    EXPECT_EQ("Unable to relocate: temp path too long\n", log());
}

TEST_F(RelocateRefusal, ACopyNameOver143CharactersStartsNothing) {
    // The folder fits with its backslash; its "Del*.tmp" name does not.
    std::string deep = folder_ + "\\" + std::string(RELOCATE_PATH_SIZE - 3 - folder_.size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    SetEnvironmentVariableA("TMP", deep.c_str());
    EXPECT_EQ(1, relocate_and_spawn(nullptr));
    EXPECT_EQ("Unable to relocate: temp path too long\n", log());
    EXPECT_EQ(0, entries(deep));
    RemoveDirectoryA(deep.c_str());
}

TEST_F(RelocateRefusal, AMissingTemporaryFolderStartsNothing) {
    SetEnvironmentVariableA("TMP", (folder_ + "\\missing").c_str());
    EXPECT_EQ(1, relocate_and_spawn(nullptr));
    EXPECT_EQ("Failed to create temp file (267) (0x0000010B)\n", log());
}

} // namespace
