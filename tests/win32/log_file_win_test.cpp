// What only the Windows side of the log shows: text-mode line ends, the log
// beside the executable, drive-letter names, and the reentrant core lock.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/log.h"
#include "support/log_file.h"

namespace {

std::string raw_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogWinTest : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
};

TEST_F(LogWinTest, LineEndsAreStoredAsCrLf) {
    std::string path = open_test_log("win_crlf.log", LOG_FILE | LOG_DEBUG);
    log_printf("one\ntwo\n");
    log_section(nullptr);
    EXPECT_EQ("Tessel v0.33\r\none\r\ntwo\r\n" + std::string(79, '=') + "\r\n", raw_bytes(path));
}

TEST_F(LogWinTest, ADriveLetterNameIsUsedAsItIs) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "win_drive.log";
    DeleteFileA(path.c_str());
    log_open(path.c_str(), LOG_FILE);
    log_printf("here\n");
    EXPECT_EQ("here\r\n", raw_bytes(path));
}

TEST_F(LogWinTest, AShortNameMeansDebugLogBesideTheProgram) {
    std::string path = log_file_path("debug.log");
    DeleteFileA(path.c_str());
    log_open("x", LOG_FILE);
    log_printf("default\n");
    EXPECT_EQ("default\r\n", raw_bytes(path));
}

TEST_F(LogWinTest, TheCoreLockIsReentrantOnOneThread) {
    open_test_log("win_lock.log", LOG_FILE);
    core_lock();
    log_printf("inside\n");
    log_where(__FILE__, __LINE__);
    EXPECT_EQ(1, log_assert(1, "never\n"));
    core_unlock();
    EXPECT_EQ("inside\n", read_file(log_file_path("win_lock.log")));
}

DWORD WINAPI log_from_thread(void*) {
    for (int i = 0; i < 200; ++i) {
        log_printf("thread %03d\n", i);
    }
    return 0;
}

TEST_F(LogWinTest, EntriesFromTwoThreadsStayWhole) {
    std::string path = open_test_log("win_threads.log", LOG_FILE);
    HANDLE other = CreateThread(nullptr, 0, log_from_thread, nullptr, 0, nullptr);
    log_from_thread(nullptr);
    WaitForSingleObject(other, INFINITE);
    CloseHandle(other);
    std::istringstream lines(read_file(path));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(10u, line.size()) << line;
        EXPECT_EQ(0u, line.rfind("thread ", 0)) << line;
        ++count;
    }
    EXPECT_EQ(400, count);
}

} // namespace
