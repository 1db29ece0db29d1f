#include "script/keyword_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/commands.h"
#include "script/keyword_list.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

namespace {

#define KEYWORD_NAME(keyword, handler) keyword,
const std::vector<std::string> g_keywords = {SCRIPT_KEYWORDS(KEYWORD_NAME)};
#undef KEYWORD_NAME

int g_called = 0;

int handler_one(InstallState*, const char*, int* consumed) {
    g_called = 1;
    *consumed = 11;
    return 1;
}

int handler_two(InstallState*, const char*, int*) {
    g_called = 2;
    return 0;
}

class KeywordTable : public testing::Test {
  protected:
    void SetUp() override {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
    }
    void TearDown() override {
        keyword_table_free();
        log_close();
    }
    std::string log_path_;
};

TEST_F(KeywordTable, The29KeywordsHave29DifferentSignaturesAndBuildSilently) {
    ASSERT_EQ(29u, g_keywords.size());
    std::set<unsigned> crcs;
    for (const std::string& keyword : g_keywords) {
        unsigned crc = 0;
        quick_crc(keyword.c_str(), &crc);
        crcs.insert(crc);
    }
    EXPECT_EQ(29u, crcs.size());

    EXPECT_EQ(1, keyword_table_build());
    EXPECT_EQ("", read_file(log_path_)) << "no matching CRCs, no stop";
    for (const std::string& keyword : g_keywords) {
        EXPECT_EQ(1, keyword_known(keyword.c_str())) << keyword;
    }
}

TEST_F(KeywordTable, LookupIgnoresLetterCaseButNotSpacing) {
    keyword_table_build();
    struct Case {
        const char* keyword;
        int known;
    } cases[] = {
        {"COMPANY NAME", 1},
        {"company name", 1},
        {"Company Name", 1},
        {"uNINSTALL nAME", 1},
        {"install", 1},
        {"Ole", 1},
        {"COMPANY  NAME", 0},
        {"COMPANY NAME ", 0},
        {" COMPANY NAME", 0},
        {"COMPANYNAME", 0},
        {"", 0},
        {"INSTAL", 0},
        {"INSTALLS", 0},
        {"DONE:", 0},
        {"FILE_LIST", 0},
        {"X", 0},
        {"A LONGER KEYWORD THAN ANY IN THE TABLE", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.known, keyword_known(c.keyword)) << "'" << c.keyword << "'";
    }
}

TEST_F(KeywordTable, AnyKeywordWithTheSameLengthAndSignatureCountsAsRegistered) {
    // quick_crc shifts byte k by 0, 7, 13, 20, 27 for k modulo 5, so bytes 0
    // and 5 of a six-letter word can trade places unnoticed.
    keyword_add("ABCDEF", handler_one);
    EXPECT_EQ(1, keyword_known("FBCDEA"));
    EXPECT_EQ(0, keyword_known("ABCDEG"));
}

TEST_F(KeywordTable, EntriesOfAnyLengthAreFoundWhateverTheRegistrationOrder) {
    // The lookup stops at the first shorter entry, so a misplaced entry would be lost.
    const std::vector<std::string> words = {"BB", "A", "DDDD",   "CCC",  "EEEEE",
                                            "FF", "G", "HHHHHH", "IIII", "JJJ"};
    for (const std::string& word : words) {
        keyword_add(word.c_str(), handler_one);
    }
    for (const std::string& word : words) {
        EXPECT_EQ(1, keyword_known(word.c_str())) << word;
    }
    EXPECT_EQ(0, keyword_known("KKKKKKK"));
    EXPECT_EQ(0, keyword_known("LLL"));
}

TEST_F(KeywordTable, DispatchCallsTheHandlerAndPassesItsResult) {
    keyword_add("ONE", handler_one);
    keyword_add("TWO", handler_two);
    InstallState state{};
    int consumed = 99;
    g_called = 0;
    EXPECT_EQ(1, keyword_dispatch("one", &state, "", &consumed));
    EXPECT_EQ(1, g_called);
    EXPECT_EQ(11, consumed);
    consumed = 99;
    EXPECT_EQ(0, keyword_dispatch("TWO", &state, "", &consumed));
    EXPECT_EQ(2, g_called);
    EXPECT_EQ(0, consumed) << "preset to 0 before the call";
    g_called = 0;
    consumed = 99;
    EXPECT_EQ(0, keyword_dispatch("THREE", &state, "", &consumed));
    EXPECT_EQ(0, g_called);
    EXPECT_EQ(0, consumed);
}

TEST_F(KeywordTable, ASignatureSharedAcrossLengthsIsLoggedAndAccepted) {
    // "QBCDEQBCDEx": the pairs at distance 5 cancel, leaving the signature of "x".
    unsigned short_crc = 0;
    unsigned long_crc = 0;
    quick_crc("x", &short_crc);
    quick_crc("QBCDEQBCDEx", &long_crc);
    ASSERT_EQ(short_crc, long_crc);
    keyword_add("x", handler_one);
    keyword_add("QBCDEQBCDEx", handler_two);
    EXPECT_EQ("Matching quick CRC's (x) and (QBCDEQBCDEx)\n", read_file(log_path_));
    EXPECT_EQ(1, keyword_known("X"));
    EXPECT_EQ(1, keyword_known("qbcdeqbcdex"));
}

TEST_F(KeywordTable, FreeingEmptiesTheTableAndReturnsEveryEntry) {
    keyword_table_build();
    EXPECT_EQ(1, keyword_table_free());
    EXPECT_EQ(0, keyword_known("COMPANY NAME"));
    mem_report();
    EXPECT_EQ(std::string::npos, read_file(log_path_).find("Not all memory"));
}

TEST(KeywordTableDeath, AKeywordOf40CharactersStops) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    std::string keyword(40, 'K');
    EXPECT_EXIT(keyword_add(keyword.c_str(), handler_one), testing::ExitedWithCode(1),
                "^\\[Internal error\\.\\.\\.\\] ABORT: Command keyword too long \\(" + keyword +
                    "\\) \\(40 > 40\\)\n       \\(src/script/keyword_table\\.cpp/[0-9]+\\)\n$");
    std::string longest(39, 'K');
    EXPECT_EQ(1, keyword_add(longest.c_str(), handler_one));
    EXPECT_EQ(1, keyword_known(longest.c_str()));
    keyword_table_free();
}

TEST(KeywordTableDeath, ASignatureSharedAtTheSameLengthStops) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    std::string path = log_file_path(test_file_name("log"));
    EXPECT_EXIT(
        {
            open_test_log(test_file_name("log"), LOG_FILE);
            keyword_add("ABCDEF", handler_one);
            keyword_add("FBCDEA", handler_two);
        },
        testing::ExitedWithCode(1),
        "^\\[Internal error\\.\\.\\.\\] ABORT: Matching lengths failure \\(6\\)\n"
        "       \\(src/script/keyword_table\\.cpp/[0-9]+\\)\n$");
    std::string log = read_file(path);
    EXPECT_EQ(0u,
              log.find("Matching quick CRC's (ABCDEF) and (FBCDEA)\n\n\nABORT: Matching lengths "
                       "failure (6)\n"))
        << log;
}

TEST(KeywordTableDeath, RegisteringATableKeywordAgainInOtherLettersStops) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    EXPECT_EXIT(
        {
            keyword_table_build();
            keyword_add("Company Name", handler_one);
        },
        testing::ExitedWithCode(1), "ABORT: Matching lengths failure \\(12\\)");
}

TEST(KeywordTableDeath, NullArgumentsStop) {
    EXPECT_EXIT(keyword_add(nullptr, handler_one), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(keyword_add("X", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(keyword_known(nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
}

} // namespace
