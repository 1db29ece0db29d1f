#include "update/download.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "net/maker.h"
#include "script/install_state.h"
#include "support/log_file.h"
#include "update/offer.h"
#include "update/update.h"

namespace {

// The bytes that tests/e2e/maker_server.py serves as file bodies.
std::string pattern_bytes(size_t size) {
    std::string unit;
    for (int round = 0; round < 16; ++round) {
        for (int i = 0; i < 256; ++i) {
            unit += static_cast<char>(i);
        }
    }
    unit += std::string("\0\r\n\r\nContent-Length: 1\r\n", 24);
    std::string out;
    while (out.size() < size) {
        out += unit;
    }
    return out.substr(0, size);
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class UpdateDownloadTest : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = log_file_path("download_folder\\");
        CreateDirectoryA(folder_.c_str(), nullptr);
        text_copy(state_.install_path, sizeof state_.install_path, folder_.c_str());
        log_path_ = open_test_log("update_download.log", LOG_FILE);
    }
    void TearDown() override { log_close(); }

    int download(const std::string& path, const std::string& name) {
        DeleteFileA((folder_ + name).c_str());
        std::string url = maker_url(path);
        return update_download(&state_, url.c_str(), 0, buffer_.data(), UPDATE_BUFFER_SIZE);
    }

    std::string folder_;
    std::string log_path_;
    InstallState state_{};
    std::vector<char> buffer_ = std::vector<char>(UPDATE_BUFFER_SIZE);
};

TEST_F(UpdateDownloadTest, SavesTheBodyUnderTheUrlsLastSegment) {
    ASSERT_EQ(1, download("/files/setup.exe", "setup.exe"));
    EXPECT_EQ(folder_ + "setup.exe", update_offer_values()->saved_path);
    EXPECT_EQ(pattern_bytes(1000), file_bytes(folder_ + "setup.exe"));
    std::string log = read_file(log_path_);
    std::string start = "Save to -> [" + folder_ +
                        "setup.exe]\n"
                        "Contacting 'http://127.0.0.1/' '/files/setup.exe'\n"
                        "Proxy Disabled (0x00000000) : None\n"
                        "Filesize = 1000 (0k)\n";
    EXPECT_EQ(start, log.substr(0, start.size()));
    EXPECT_NE(std::string::npos, log.find(" / 1000]\n"));
}

TEST_F(UpdateDownloadTest, VariantsOfTheAnswer) {
    struct Case {
        const char* path;
        const char* name;
        int result;
        std::string body;
    } cases[] = {
        {"/files/nolength.bin", "nolength.bin", 1, pattern_bytes(3000)},
        {"/files/split.bin", "split.bin", 1, pattern_bytes(1000)},
        {"/files/split-nolength.bin", "split-nolength.bin", 1, pattern_bytes(10)},
        {"/files/blanks.bin", "blanks.bin", 1, pattern_bytes(64)},
        {"/files/signed.bin", "signed.bin", 1, pattern_bytes(64)},
        {"/files/lengthinbody.bin", "lengthinbody.bin", 1,
         "Content-Length: 5\r\n" + pattern_bytes(100)},
        {"/files/big.bin", "big.bin", 1, pattern_bytes(3 * 1024 * 1024)},
        {"/files/slow.bin", "slow.bin", 1, "slow"},
        // Failures keep what arrived; the driver never starts it.
        {"/files/short.bin", "short.bin", 0, pattern_bytes(999)},
        {"/files/long.bin", "long.bin", 0, pattern_bytes(1001)},
        {"/files/headonly.bin", "headonly.bin", 0, ""},
        {"/files/lengthzero.bin", "lengthzero.bin", 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, download(c.path, c.name)) << c.path;
        EXPECT_TRUE(c.body == file_bytes(folder_ + c.name)) << c.path;
    }
    std::string log = read_file(log_path_);
    EXPECT_NE(std::string::npos, log.find("Sizes to not match (1000 != 999)\n"));
    EXPECT_NE(std::string::npos, log.find("Sizes to not match (1000 != 1001)\n"));
    EXPECT_NE(std::string::npos, log.find("Filesize = 64 (0k)\n"));
    EXPECT_NE(std::string::npos, log.find("Filesize = 0 (0k)\n"));
    EXPECT_NE(std::string::npos, log.find("Filesize = 3145728 (3072k)\n"));
}

TEST_F(UpdateDownloadTest, NamesThatCouldLeaveTheFolderAreRefusedUntouched) {
    const char* urls[] = {
        "/files/..", "/get?f=..\\..\\evil.exe", "/get?f=\\evil.exe", "/C:evil.exe", "/$4evil.exe",
    };
    for (const char* path : urls) {
        std::string url = maker_url(path);
        EXPECT_EQ(0, update_download(&state_, url.c_str(), 0, buffer_.data(), UPDATE_BUFFER_SIZE))
            << path;
    }
    EXPECT_EQ("Refusing to save '..' into the installation folder\n"
              "Refusing to save 'get?f=..\\..\\evil.exe' into the installation folder\n"
              "Refusing to save 'get?f=\\evil.exe' into the installation folder\n"
              "Refusing to save 'C:evil.exe' into the installation folder\n"
              "Refusing to save '$4evil.exe' into the installation folder\n",
              read_file(log_path_));
}

TEST_F(UpdateDownloadTest, WithoutAnInstallationFolderNothingIsSaved) {
    state_.install_path[0] = '\0';
    EXPECT_EQ(0, download("/files/setup.exe", "setup.exe"));
    EXPECT_STREQ("", update_offer_values()->saved_path);
    EXPECT_EQ("Refusing to save 'setup.exe' into the installation folder\n", read_file(log_path_));
}

TEST_F(UpdateDownloadTest, ANameTooLongForTheFolderIsRefused) {
    std::string name(320 - folder_.size(), 'n');
    EXPECT_EQ(0, download("/files/" + name, name));
    EXPECT_EQ("Refusing to save '" + name + "' into the installation folder\n",
              read_file(log_path_));
    name.pop_back();
    EXPECT_EQ(0, download("/files/" + name, name));
    EXPECT_NE(std::string::npos, read_file(log_path_).find("Save to -> [" + folder_ + name));
}

TEST_F(UpdateDownloadTest, AUrlEndingInASlashCannotBeSaved) {
    EXPECT_EQ(0, download("/files/", ""));
    EXPECT_EQ("Save to -> [" + folder_ + "]\nUnable to open file '" + folder_ + "'\n",
              read_file(log_path_));
}

TEST_F(UpdateDownloadTest, AFailedWriteFailsTheDownload) {
    // full.bin in this folder is a link to /dev/full, made by the build.
    std::string full = log_file_path("full_folder\\");
    text_copy(state_.install_path, sizeof state_.install_path, full.c_str());
    std::string url = maker_url("/files/full.bin");
    EXPECT_EQ(0, update_download(&state_, url.c_str(), 0, buffer_.data(), UPDATE_BUFFER_SIZE));
    std::string log = read_file(log_path_);
    EXPECT_NE(std::string::npos, log.find("Unable to write file '" + full + "full.bin' (0x"))
        << log;
    EXPECT_EQ(std::string::npos, log.find("Recieved -> [")) << log;
}

TEST(ExecuteAndWait, ReportsTheExitCodeAndTheParameters) {
    std::string folder = log_file_path("");
    std::string installer = folder + "run_recorder.exe";
    std::string runs = folder + "run_recorder-runs.txt";
    std::string code_file = folder + "run_recorder-exit.txt";
    DeleteFileA(runs.c_str());
    for (int wanted : {1, 0, 7}) {
        std::ofstream(code_file) << wanted;
        int code = -1;
        EXPECT_EQ(1, execute_and_wait(installer.c_str(), "-Quiet", 1, &code));
        EXPECT_EQ(wanted, code);
    }
    DeleteFileA(code_file.c_str());
    std::string lines = file_bytes(runs);
    EXPECT_EQ(3u, std::count(lines.begin(), lines.end(), '\n'));
    EXPECT_NE(std::string::npos, lines.find("run_recorder.exe\" -Quiet\n")) << lines;

    // Not waited for: the exit code stays 0.
    int code = -1;
    EXPECT_EQ(1, execute_and_wait(installer.c_str(), "-Quiet", 0, &code));
    EXPECT_EQ(0, code);
}

} // namespace
