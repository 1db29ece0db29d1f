#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "core/cmdline.h"
#include "core/crc32.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/system_path.h"
#include "core/text.h"
#include "support/log_file.h"

namespace {

TEST(Cmdline, ArgumentsAsTypedAndPointersIntoTheText) {
    const char* quoted = "\"C:\\Program Files\\Acme\\u.exe\" -Spawn -Register";
    // clang-format off
    const struct { const char* text; int index; const char* expected; int count; } cases[] = { // null: no such argument
        {quoted, 1, "-Spawn -Register", 1}, {quoted, 2, "-Register", 2}, {quoted, 3, nullptr, 2},
        {"\"C:\\Program Files\\u.exe\"   ", 1, nullptr, 0}, {"   ", 0, "", 0}, {"  u.exe\t\t-a", 1, "-a", 1},
        {"u.exe x\"a b\"y z", 2, "z", 2}, {"u.exe \"unterminated quote z", 2, nullptr, 1}, {"u.exe\x01-a", 1, "-a", 1}};
    // clang-format on
    for (const auto& c : cases) {
        int count = -1;
        const char* at = c.expected ? c.text + strlen(c.text) - strlen(c.expected) : nullptr;
        EXPECT_EQ(at, cmdline_argument(c.text, c.index, &count)) << c.text << " #" << c.index;
        EXPECT_EQ(c.count, count) << c.text << " #" << c.index;
    }
}

TEST(Crc, KnownVectors) {
    EXPECT_EQ(0x352441C2u, crc32_block("abc", 3));
    EXPECT_EQ(0xCBF43926u, crc32_block("123456789", 9));
    EXPECT_EQ(0x414FA339u, crc32_block("The quick brown fox jumps over the lazy dog", 43));
    EXPECT_EQ(0u, crc32_block("", 0));
    auto quick = [](const char* text) {
        unsigned value = 1;
        quick_crc(text, &value);
        return value;
    };
    EXPECT_EQ(0u, quick(""));
    EXPECT_EQ(0x00084141u, quick("abc"));
    EXPECT_EQ(0x00084141u, quick("ABC"));
    // The sixth byte wraps round to shift 0 and cancels the first; bits past 31 are lost.
    EXPECT_EQ((1u << 7) ^ (1u << 13) ^ (1u << 20) ^ (1u << 27), quick("\x01\x01\x01\x01\x01\x01"));
    EXPECT_EQ(0xFFu ^ (0xFFu << 7) ^ (0xFFu << 13) ^ (0xFFu << 20) ^ (0xFFu << 27),
              quick("\xFF\xFF\xFF\xFF\xFF"));
}

TEST(Text, CompareFindLengthAndCutsToTheBuffer) {
    // clang-format off
    const struct { const char* a; const char* b; int count, equal, nocase, first, first_nocase; } pairs[] = {
        {"abc", "abc", 3, 1, 1, 1, 1}, {"abc", "ABC", 3, 0, 1, 0, 1}, {"abcd", "abc", 3, 0, 0, 1, 1},
        {"-DeBuG", "-debug", 6, 0, 1, 0, 1}, {"\xC4", "\xE4", 1, 0, 0, 0, 0}, {"[", "{", 1, 0, 0, 0, 0},
        {"abcdef", "abcxyz", 3, 0, 0, 1, 1}, {"abcdef", "abcxyz", 4, 0, 0, 0, 0},
        {"ab", "ab", 3, 1, 1, 1, 1}, {"he", "HE", 5, 0, 1, 0, 1}, {"he", "HELLO", 5, 0, 0, 0, 0}};
    // clang-format on
    for (const auto& c : pairs) {
        EXPECT_EQ(c.equal, text_equal(c.a, c.b)) << c.a << " " << c.b;
        EXPECT_EQ(c.nocase, text_equal_nocase(c.a, c.b)) << c.a << " " << c.b;
        EXPECT_EQ(c.first, text_compare_n(c.a, c.b, c.count)) << c.a << " " << c.b;
        EXPECT_EQ(c.first_nocase, text_compare_n_nocase(c.a, c.b, c.count)) << c.a << " " << c.b;
    }
    const char* text = "\"C:\\u.exe\" -DeBug xx-SPAWN";
    const char* at = nullptr;
    EXPECT_EQ(1, text_find_nocase(text, "-debug", &at));
    EXPECT_EQ(text + 11, at);
    EXPECT_EQ(0, text_find(text, "-debug", &at));
    EXPECT_EQ(nullptr, at);
    EXPECT_EQ(1, text_find_nocase(text, "-spawn", &at));
    EXPECT_EQ(text + 20, at);
    EXPECT_EQ(0, text_find_nocase("xx-SPAW", "-spawn", &at));
    EXPECT_EQ(0, text_find("", "", &at));
    EXPECT_EQ(5, text_length("a\xFF"
                             "bcd"));
    // Copies, appends and formats are cut to the buffer.
    char buffer[8];
    memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(0, text_copy(buffer, 4, "abcd"));
    EXPECT_EQ(std::string("abc\0Z", 5), std::string(buffer, 5));
    EXPECT_EQ(1, text_copy(buffer, 4, "abc"));
    EXPECT_EQ(1, text_append(buffer, sizeof buffer, "defg"));
    EXPECT_EQ(0, text_append(buffer, sizeof buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(1, text_format(buffer, sizeof buffer, "%s-%d", "ab", 12));
    EXPECT_STREQ("ab-12", buffer);
    EXPECT_EQ(1, text_format(buffer, sizeof buffer, "%s%s", "abcd", "efg"));
    EXPECT_EQ(0, text_format(buffer, sizeof buffer, "%s%s", "abcd", "efgh"));
    EXPECT_STREQ("abcdefg", buffer);
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, text_append(full, sizeof full, "x"));
    EXPECT_EQ('d', full[3]);
}

// One reading of numbers, two rules past 32 bits: the script's wraps, the socket layer's saturates.
TEST(Text, DecimalsWrapOrSaturateAsTheirNamesSay) {
    // clang-format off
    const struct { const char* text; int wrapping, saturating, three_digits; } cases[] = {
        {"abc", 0, 0, 0}, {" \t+7x", 7, 7, 0}, {"--5", 0, 0, 0}, {"1234", 1234, 1234, 123},
        {"4294967297", 1, INT_MAX, 429}, {"-2147483648", INT_MIN, INT_MIN, 0},
        {"-99999999999", -1215752191, INT_MIN, 0}, {"2147483648", INT_MIN, INT_MAX, 214},
        {"-2147483647", -INT_MAX, -INT_MAX, 0}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(c.wrapping, text_decimal_wrapping(c.text)) << c.text;
        EXPECT_EQ(c.saturating, text_decimal_saturating(c.text)) << c.text;
        EXPECT_EQ(c.three_digits, text_digits_saturating(c.text, 3)) << c.text;
    }
    EXPECT_EQ(INT_MAX, text_digits_saturating("99999999999", 11));
}

TEST(Log, OptionsBannerAppendSectionsAndTheEntryLimit) {
    int mode = -1;
    EXPECT_EQ(1, log_options(&mode, "x-Debugx -WINDOW -append -qUIET"));
    EXPECT_EQ(LOG_FILE | LOG_DEBUG | LOG_CONSOLE | LOG_APPEND | LOG_QUIET, mode);
    log_options(&mode, "-debu -windo -appen -Quie");
    EXPECT_EQ(0, mode);
    std::string path = open_test_log("log_run.log", LOG_FILE | LOG_DEBUG);
    EXPECT_EQ(1, log_printf("Cmdline '%s' %d%%\n", "a b", 5));
    log_close();
    log_open("log_run.log", LOG_FILE | LOG_DEBUG | LOG_APPEND);
    log_section("Memory Init");
    log_section(nullptr);
    log_section(std::string(74, 'x').c_str());
    log_section(std::string(73, 'y').c_str());
    log_printf("%s", std::string(LOG_ENTRY_LIMIT, 'e').c_str());
    EXPECT_EQ("Tessel v0.33\nCmdline 'a b' 5%\nTessel v0.33\n\n====[Memory Init]" +
                  std::string(62, '=') + "\n" + std::string(79, '=') + "\n\n====[" +
                  std::string(74, 'x') + "\n\n====[" + std::string(73, 'y') + "]\n" +
                  std::string(LOG_ENTRY_LIMIT, 'e'),
              read_file(path));
    open_test_log("log_run.log", LOG_FILE | LOG_DEBUG);
    EXPECT_EQ("Tessel v0.33\n", read_file(path)) << "without -append the file is emptied";
    // "-Quiet" alone writes nothing, yet the mode tells it.
    for (int off : {0, int(LOG_APPEND), int(LOG_CONSOLE), int(LOG_QUIET)}) {
        testing::internal::CaptureStdout();
        std::string other = open_test_log("log_off.log", off);
        log_printf("entry\n");
        EXPECT_EQ(off == LOG_CONSOLE ? "entry\n" : "", testing::internal::GetCapturedStdout());
        EXPECT_EQ(nullptr, fopen(other.c_str(), "r"));
        EXPECT_EQ(off, log_mode());
    }
    log_close();
}

TEST(SystemPath, ThePathItselfElseItsShortFormElseARefusalInTheLog) {
    const char shown[] = "C:\\users\\root\\Temp\\????\\";
    const char exact[] = "C:\\Program Files\\\xD3mega\\";
    const char short_form[] = "C:\\users\\root\\Temp\\____~S0X\\";
    // What the code page holds, the buffer's size, then the result, the path and the log.
    // clang-format off
    const struct { const char* exact; const char* short_form; int size; int result;
                   std::string path, log; } cases[] = {
        {exact, short_form, 64, 1, exact, ""},
        {nullptr, short_form, 64, 1, short_form, std::string("Path '") + shown +
         "' is outside the code page: using '" + short_form + "'\n"},
        {nullptr, nullptr, 64, 0, "", std::string("Path '") + shown +
         "' is outside the code page and has no short name\n"},
        // Cut short: unusable, and the callers say so in their own words.
        {exact, nullptr, 8, 0, "", ""}};
    // clang-format on
    for (const auto& c : cases) {
        std::string log = open_test_log("system_path.log", LOG_FILE);
        char path[64] = "x";
        EXPECT_EQ(c.result, system_path_choose(shown, c.exact, c.short_form, path, c.size));
        log_close();
        EXPECT_EQ(c.path, path);
        EXPECT_EQ(c.log, read_file(log));
    }
}

// A fatal stop, in a child with the log in a fresh file: its box (printed on
// stderr on the host) and the log's last entry carry the same text. The probe
// scenario checks the program's own stops byte for byte.
TEST(LogDeath, AFormattedStopAndOneCutForItsLength) {
    const std::string text = "ASSERT:Value 9\n       (src/x.cpp/42)\n";
    EXPECT_EXIT((open_test_log("log_fatal.log", LOG_FILE), log_where("src/x.cpp", 42),
                 log_assert(0, "Value %d\n", 9)),
                testing::ExitedWithCode(1), testing::Eq("[Internal error...] " + text));
    EXPECT_EQ("\n\n" + text, read_file(log_file_path("log_fatal.log")));
    EXPECT_EXIT((open_test_log("log_fatal.log", LOG_FILE | LOG_QUIET), log_where("src/x.cpp", 42),
                 log_assert(0, "Value %d\n", 9)),
                testing::ExitedWithCode(1), testing::Eq(""))
        << "no box for a quiet run";
    EXPECT_EQ("\n\n" + text, read_file(log_file_path("log_fatal.log")));
    const std::string entry(5000, 'e');
    EXPECT_EXIT((open_test_log("log_fatal.log", LOG_FILE), CORE_ABORT("%s", entry.c_str())),
                testing::ExitedWithCode(1), "Last string too large \\([0-9]+ > 4096\\)");
    EXPECT_EQ("\n\nABORT: " + entry.substr(0, LOG_ENTRY_LIMIT - 9),
              read_file(log_file_path("log_fatal.log")).substr(0, LOG_ENTRY_LIMIT));
}

// The report's lines are the scenarios'; here the guards, the zero fill and the leak in k.
TEST(Memory, ZeroFilledGuardedBlocksAndTheLeakInKilobytes) {
    std::string path = open_test_log("memory.log", LOG_FILE);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    unsigned char* area = static_cast<unsigned char*>(MEM_ALLOC(5));
    EXPECT_EQ(std::string("\xCC\xCC\xCC\xCC\0\0\0\0\0\0\0\0\xCC\xCC\xCC\xCC", 16),
              std::string(reinterpret_cast<char*>(area) - 4, 16));
    // The rounding past the request is the caller's and is not guarded.
    area[5] = area[7] = 0x55;
    EXPECT_EQ(1, MEM_RETURN(area, 5));
    EXPECT_EQ(nullptr, area);
    void* leak = MEM_ALLOC(1016);
    mem_report();
    EXPECT_EQ("Not all memory was free'd (1 / 1k)\n", read_file(path));
    MEM_RETURN(leak, 1016);
    log_close();
}

// A 64-bit process has room for any block the program may ask for: the sanitizer's
// allocator refuses large ones instead (with a warning of its own before the box),
// so that running out of memory can be tested.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

std::string fatal(const std::string& message) {
    return "^\\[Internal error\\.\\.\\.\\] ABORT: " + message +
           "\n       \\(tests/host/core/core_test\\.cpp/[0-9]+\\)\n$";
}

// Bad sizes, double frees, damaged guards and the limit are the probe scenario's.
TEST(MemoryDeath, AReturnOfAnotherSizeAndRunningOutStop) {
    mem_init(1000, 0);
    char* p = static_cast<char*>(MEM_ALLOC(5));
    EXPECT_EXIT(MEM_RETURN(p, 64), testing::ExitedWithCode(1),
                fatal("Memory corrupt after \\(64\\)"));
    EXPECT_EXIT((mem_init(0x7FFFFFFF, 0), MEM_ALLOC(0x7FFFFFF0)), testing::ExitedWithCode(1),
                fatal("No Memory available \\(2147483632 / 2147483640\\)").substr(1));
    EXPECT_EXIT(mem_init(MEM_LIMIT_MAXIMUM, MEM_LIMIT_MAXIMUM), testing::ExitedWithCode(1),
                "ABORT: Quickmemory size is invalid!\n       \\(src/core/memory\\.cpp/[0-9]+\\)");
    MEM_RETURN(p, 5);
}

} // namespace
