#include "core/log.h"

#include <gtest/gtest.h>

#include <string>

#include "support/log_file.h"

namespace {

class LogTest : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
};

TEST(LogOptions, ComputesTheModeWordFromTheArgumentText) {
    struct Case {
        const char* text;
        int mode;
    } cases[] = {
        {"", 0},
        {"-debug", LOG_FILE | LOG_DEBUG},
        {"-DEBUG", LOG_FILE | LOG_DEBUG},
        {"x-Debugx", LOG_FILE | LOG_DEBUG},
        {"-window", LOG_CONSOLE},
        {"-append", LOG_APPEND},
        {"-append -window -debug", LOG_FILE | LOG_DEBUG | LOG_CONSOLE | LOG_APPEND},
        {"-debu -windo -appen", 0},
    };
    for (const auto& c : cases) {
        int mode = -1;
        EXPECT_EQ(1, log_options(&mode, c.text));
        EXPECT_EQ(c.mode, mode) << c.text;
    }
}

TEST_F(LogTest, DebugEmptiesTheFileAndWritesTheBannerAndEntriesExactly) {
    std::string path = log_file_path("log_debug.log");
    FILE* stale = fopen(path.c_str(), "w");
    fputs("old run\n", stale);
    fclose(stale);

    log_open("log_debug.log", LOG_FILE | LOG_DEBUG);
    log_printf("Cmdline '%s' '%s'\n", "a b", "b");
    log_printf("no line end");
    log_printf("%d%%\n", 5);
    EXPECT_EQ("Tessel v0.33\nCmdline 'a b' 'b'\nno line end5%\n", read_file(path));
}

TEST_F(LogTest, AppendKeepsThePreviousRun) {
    std::string path = open_test_log("log_append.log", LOG_FILE | LOG_DEBUG);
    log_printf("first\n");
    log_close();
    log_open("log_append.log", LOG_FILE | LOG_DEBUG | LOG_APPEND);
    log_printf("second\n");
    EXPECT_EQ("Tessel v0.33\nfirst\nTessel v0.33\nsecond\n", read_file(path));
}

TEST_F(LogTest, WithoutOptionsNothingIsWritten) {
    std::string path = open_test_log("log_off.log", 0);
    log_printf("dropped\n");
    log_section("dropped");
    EXPECT_EQ(nullptr, fopen(path.c_str(), "r"));
}

TEST_F(LogTest, AppendAloneFormatsAndDropsEntries) {
    std::string path = open_test_log("log_append_only.log", LOG_APPEND);
    testing::internal::CaptureStdout();
    log_printf("dropped\n");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, fopen(path.c_str(), "r"));
}

TEST_F(LogTest, WindowAloneWritesToTheConsoleOnlyWithoutBanner) {
    testing::internal::CaptureStdout();
    std::string path = open_test_log("log_window.log", LOG_CONSOLE);
    log_printf("to console %d\n", 1);
    EXPECT_EQ("to console 1\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, fopen(path.c_str(), "r"));
}

TEST_F(LogTest, AfterCloseNothingIsWritten) {
    std::string path = open_test_log("log_closed.log", LOG_FILE);
    log_close();
    log_printf("late\n");
    EXPECT_EQ("", read_file(path));
}

TEST_F(LogTest, SectionLinesAre79CharactersWide) {
    std::string path = open_test_log("log_section.log", LOG_FILE);
    log_section("Memory Init");
    log_section(nullptr);
    log_section(std::string(74, 'x').c_str());
    log_section(std::string(73, 'y').c_str());

    std::string named = "\n====[Memory Init]" + std::string(79 - 17, '=') + "\n";
    std::string closing = std::string(79, '=') + "\n";
    std::string cut = "\n====[" + std::string(74, 'x').substr(0, 74) + "\n";
    std::string fits = "\n====[" + std::string(73, 'y') + "]\n";
    EXPECT_EQ(named + closing + cut + fits, read_file(path));
}

TEST_F(LogTest, EntryOfExactlyTheLimitPasses) {
    std::string path = open_test_log("log_limit.log", LOG_FILE);
    std::string entry(LOG_ENTRY_LIMIT, 'e');
    log_printf("%s", entry.c_str());
    EXPECT_EQ(entry, read_file(path));
}

TEST(LogDeath, LongerEntryIsWrittenCutAndStopsTheProgram) {
    std::string path = log_file_path("log_too_long.log");
    std::string entry(5000, 'e');
    EXPECT_EXIT(
        {
            open_test_log("log_too_long.log", LOG_FILE);
            log_printf("%s", entry.c_str());
        },
        testing::ExitedWithCode(1),
        "^\\[Internal error\\.\\.\\.\\] ABORT: Last string too large \\(5000 > 4096\\)\n"
        "       \\(Unknown/0\\)\n$");
    EXPECT_EQ(entry.substr(0, LOG_ENTRY_LIMIT) +
                  "\n\nABORT: Last string too large (5000 > 4096)\n       (Unknown/0)\n",
              read_file(path));
}

TEST(LogDeath, LongFatalMessageIsCutThenStoppedByTheLengthCheck) {
    std::string path = log_file_path("log_long_fatal.log");
    std::string message(5000, 'm');
    EXPECT_EXIT(
        {
            open_test_log("log_long_fatal.log", LOG_FILE);
            CORE_ABORT("%s", message.c_str());
        },
        testing::ExitedWithCode(1), "Last string too large \\([0-9]+ > 4096\\)");
    std::string written = read_file(path);
    EXPECT_EQ("\n\nABORT: " + message.substr(0, LOG_ENTRY_LIMIT - 9),
              written.substr(0, LOG_ENTRY_LIMIT));
}

TEST(LogDeath, FatalEntriesCarryPrefixMessageAndLocation) {
    std::string path = log_file_path("log_fatal.log");
    EXPECT_EXIT(
        {
            open_test_log("log_fatal.log", LOG_FILE);
            log_where("src/x.cpp", 42);
            log_abort("Couldn't load installation script.\n");
        },
        testing::ExitedWithCode(1),
        "^\\[Internal error\\.\\.\\.\\] ABORT: Couldn't load installation script\\.\n"
        "       \\(src/x\\.cpp/42\\)\n$");
    EXPECT_EQ("\n\nABORT: Couldn't load installation script.\n       (src/x.cpp/42)\n",
              read_file(path));

    EXPECT_EXIT(
        {
            open_test_log("log_fatal.log", LOG_FILE);
            log_where("src/y.cpp", 7);
            log_assert_pointer(nullptr);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ("\n\nASSERT:Pointer is NULL...\n       (src/y.cpp/7)\n", read_file(path));
}

TEST(LogDeath, FatalStopWorksWithLoggingOff) {
    EXPECT_EXIT(
        {
            log_where("src/z.cpp", 3);
            log_assert(0, "Value %d\n", 9);
        },
        testing::ExitedWithCode(1),
        "^\\[Internal error\\.\\.\\.\\] ASSERT:Value 9\n       \\(src/z\\.cpp/3\\)\n$");
}

TEST_F(LogTest, PassingAssertionsReleaseTheLock) {
    open_test_log("log_lock.log", LOG_FILE);
    for (int i = 0; i < 3; ++i) {
        log_where(__FILE__, __LINE__);
        EXPECT_EQ(1, log_assert(1, "never\n"));
    }
    EXPECT_EQ(1, CORE_ASSERT_POINTER("x"));
}

} // namespace
