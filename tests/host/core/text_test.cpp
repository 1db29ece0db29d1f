#include "core/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TextCompare, EqualityIsExactOrFoldsOnlyAsciiLetters) {
    struct Case {
        const char* a;
        const char* b;
        int exact;
        int nocase;
    } cases[] = {
        {"abc", "abc", 1, 1},       {"abc", "ABC", 0, 1}, {"abc", "abcd", 0, 0},
        {"abcd", "abc", 0, 0},      {"", "", 1, 1},       {"\xC4", "\xE4", 0, 0},
        {"A", "a", 0, 1},           {"[", "{", 0, 0},     {"@", "`", 0, 0},
        {"-DeBuG", "-debug", 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exact, text_equal(c.a, c.b)) << c.a << " / " << c.b;
        EXPECT_EQ(c.nocase, text_equal_nocase(c.a, c.b)) << c.a << " / " << c.b;
    }
}

TEST(TextCompare, CompareNStopsAtTheFirstDifference) {
    EXPECT_EQ(1, text_compare_n("abcdef", "abcxyz", 3));
    EXPECT_EQ(0, text_compare_n("abcdef", "abcxyz", 4));
    EXPECT_EQ(0, text_compare_n("ab", "abc", 3));
    EXPECT_EQ(1, text_compare_n_nocase("HeLLo world", "hello", 5));
    EXPECT_EQ(0, text_compare_n_nocase("he", "hello", 5));
    EXPECT_EQ(1, text_compare_n("", "x", 0));
}

TEST(TextFind, ReportsThePositionOfTheFirstOccurrence) {
    const char* text = "\"C:\\Prog\\u.exe\" -DeBug -window";
    const char* at = nullptr;
    ASSERT_EQ(1, text_find_nocase(text, "-debug", &at));
    EXPECT_EQ(text + 16, at);
    EXPECT_EQ(0, text_find(text, "-debug", &at));
    EXPECT_EQ(nullptr, at);
    ASSERT_EQ(1, text_find(text, "-window", &at));
    EXPECT_STREQ("-window", at);
}

TEST(TextFind, EmptyPatternAndEmptyText) {
    const char* at = nullptr;
    EXPECT_EQ(1, text_find("abc", "", &at));
    EXPECT_STREQ("abc", at);
    EXPECT_EQ(0, text_find("", "", &at));
    EXPECT_EQ(0, text_find_nocase("", "a", &at));
    EXPECT_EQ(0, text_find_nocase("ab", "abc", &at));
}

TEST(TextFind, FindsOnlyTheLastPossibleStart) {
    const char* at = nullptr;
    EXPECT_EQ(1, text_find_nocase("xx-SPAWN", "-spawn", &at));
    EXPECT_STREQ("-SPAWN", at);
    EXPECT_EQ(0, text_find_nocase("xx-SPAW", "-spawn", &at));
}

TEST(TextBounded, CopyAppendAndFormatNeverPassTheSize) {
    char buffer[8];
    memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(1, text_copy(buffer, 4, "abc"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(0, text_copy(buffer, 4, "abcd"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ('Z', buffer[4]);

    EXPECT_EQ(1, text_copy(buffer, sizeof buffer, "ab"));
    EXPECT_EQ(1, text_append(buffer, sizeof buffer, "cdefg"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(0, text_append(buffer, sizeof buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer);

    EXPECT_EQ(1, text_format(buffer, sizeof buffer, "%s-%d", "ab", 12));
    EXPECT_STREQ("ab-12", buffer);
    EXPECT_EQ(0, text_format(buffer, sizeof buffer, "%s%s", "abcd", "efgh"));
    EXPECT_STREQ("abcdefg", buffer);
}

TEST(TextBounded, AppendToAnUnterminatedBufferRefuses) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, text_append(buffer, sizeof buffer, "x"));
    EXPECT_EQ('d', buffer[3]);
}

TEST(TextLength, CountsBytesBeforeTheTerminator) {
    EXPECT_EQ(0, text_length(""));
    EXPECT_EQ(5, text_length("a\xFF"
                             "bcd"));
}

TEST(QuickCrc, KnownValuesAndCaseFolding) {
    unsigned value = 1;
    quick_crc("", &value);
    EXPECT_EQ(0u, value);
    quick_crc("abc", &value);
    EXPECT_EQ(0x00084141u, value);
    quick_crc("ABC", &value);
    EXPECT_EQ(0x00084141u, value);
    // The sixth byte wraps round to shift 0 again; bits past 31 are lost.
    quick_crc("\x01\x01\x01\x01\x01\x01", &value);
    EXPECT_EQ(0u ^ 1u ^ (1u << 7) ^ (1u << 13) ^ (1u << 20) ^ (1u << 27) ^ 1u, value);
    quick_crc("\xFF\xFF\xFF\xFF\xFF", &value);
    EXPECT_EQ(0xFFu ^ (0xFFu << 7) ^ (0xFFu << 13) ^ (0xFFu << 20) ^ (0xFFu << 27), value);
}

TEST(TextDeath, NullPointerStopsWithThisModulesLocation) {
    EXPECT_EXIT(text_length(nullptr), testing::ExitedWithCode(1),
                "\\[Internal error\\.\\.\\.\\] ASSERT:Pointer is NULL\\.\\.\\.\n"
                "       \\(src/core/text\\.cpp/[0-9]+\\)\n");
    const char* at = nullptr;
    EXPECT_EXIT(text_find_nocase("abc", nullptr, &at), testing::ExitedWithCode(1),
                "Pointer is NULL");
}

} // namespace
