#include "update/update_info.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/text.h"
#include "script/install_state.h"
#include "support/log_file.h"

namespace {

std::string field(char type, const std::string& value) {
    return std::string("\x16") + type + value + "\r\n";
}

std::string record(const std::string& key, const std::string& version, const std::string& page,
                   const std::string& download) {
    return field('1', key) + field('2', version) + field('3', page) + field('4', download) +
           "\x16"
           "0\r\n";
}

const std::string g_head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

TEST(UpdateVersionNumber, ReadsLeadingDigitsAndDotsInPlace) {
    struct Case {
        const char* text;
        const char* shortened;
        double number;
    } cases[] = {
        {"1.50", "1.50", 1.5},      {"1.5", "1.5", 1.5},    {"1.10", "1.10", 1.1},
        {"1.9", "1.9", 1.9},        {"2", "2", 2.0},        {"1.99", "1.99", 1.99},
        {"1.50 beta", "1.50", 1.5}, {"v2.0", "", 0.0},      {"", "", 0.0},
        {"1.2.3", "1.2.3", 1.2},    {".5", ".5", 0.5},      {".", ".", 0.0},
        {"3.0-rc1", "3.0", 3.0},    {"10\r\n", "10", 10.0},
    };
    for (const Case& c : cases) {
        char text[32];
        text_copy(text, sizeof text, c.text);
        double number = -1.0;
        EXPECT_EQ(1, update_version_number(&number, text)) << c.text;
        EXPECT_STREQ(c.shortened, text) << c.text;
        EXPECT_EQ(c.number, number) << c.text;
    }
}

TEST(UpdateReadField, CopiesUpToTheNextControlByte) {
    struct Case {
        std::string input;
        int size;
        int result;
        std::string value;
        size_t stop;
    } cases[] = {
        {"abc\r\n", 80, 1, "abc", 3},
        {"a b\x16x", 80, 1, "a b", 3},
        {"\xE4\xFF\x7F\x01", 80, 1, "\xE4\xFF\x7F", 3},
        {"", 80, 1, "", 0},
        {"\r\n", 80, 1, "", 0},
        {std::string(79, 'v') + "\r", 80, 1, std::string(79, 'v'), 79},
        {std::string(80, 'v') + "\r", 80, 0, "", 0},
        {std::string(80, 'v'), 80, 0, "", 0},
        {std::string(319, 'u'), 320, 1, std::string(319, 'u'), 319},
        {std::string(320, 'u'), 320, 0, "", 0},
    };
    for (const Case& c : cases) {
        std::string value(static_cast<size_t>(c.size) + 8, '#');
        const char* position = c.input.c_str();
        EXPECT_EQ(c.result, update_read_field(&position, &value[0], c.size)) << c.input;
        // Nothing is written past the buffer, whatever the outcome.
        EXPECT_EQ(std::string(8, '#'), value.substr(static_cast<size_t>(c.size)));
        if (c.result) {
            EXPECT_EQ(c.value, std::string(value.c_str())) << c.input;
            EXPECT_EQ(c.input.c_str() + c.stop, position) << c.input;
        } else {
            EXPECT_EQ(c.input.c_str(), position) << c.input;
        }
    }
}

class UpdateScan : public testing::Test {
  protected:
    void SetUp() override { log_path_ = open_test_log("update_scan.log", LOG_FILE); }
    void TearDown() override { log_close(); }
    int scan(const std::string& answer, const char* key = "Acme Tool") {
        record_ = UpdateRecord{};
        return update_scan(answer.c_str(), key, &record_);
    }
    std::string log_path_;
    UpdateRecord record_{};
};

TEST_F(UpdateScan, FindsTheProductsRecordAmongSeveral) {
    std::string answer = g_head + record("Other Thing", "9.0", "http://o/", "http://o/o.exe") +
                         record("ACME tool", "2.1 final", "http://a/", "http://a/setup.exe") +
                         record("Third One", "3", "http://t/", "http://t/t.exe");
    ASSERT_EQ(1, scan(answer));
    EXPECT_STREQ("ACME tool", record_.key);
    EXPECT_STREQ("2.1", record_.version);
    EXPECT_EQ(2.1, record_.remote_version);
    EXPECT_STREQ("http://a/", record_.page_url);
    EXPECT_STREQ("http://a/setup.exe", record_.download_url);
    EXPECT_EQ("", read_file(log_path_));
}

TEST_F(UpdateScan, KeysMustMatchExceptForLetterCase) {
    EXPECT_EQ(1, scan(record("aCmE tOoL", "2", "p", "d")));
    EXPECT_EQ(0, scan(record("Acme  Tool", "2", "p", "d")));
    EXPECT_EQ(0, scan(record("Acme Tool ", "2", "p", "d")));
    EXPECT_EQ(0, scan(record("Acme Tools", "2", "p", "d")));
}

TEST_F(UpdateScan, MissingFieldsCarryOverAsTheScanLeavesThem) {
    // No '2': the version number of the record before; no '4': its download URL.
    std::string answer = record("Other", "5.5", "http://o/", "http://o/o.exe") +
                         field('1', "Acme Tool") + field('3', "http://a/") +
                         "\x16"
                         "0";
    ASSERT_EQ(1, scan(answer));
    EXPECT_EQ(5.5, record_.remote_version);
    EXPECT_STREQ("", record_.version);
    EXPECT_STREQ("http://o/o.exe", record_.download_url);
    EXPECT_STREQ("http://a/", record_.page_url);

    // The first record without '2' has the number 0.0.
    ASSERT_EQ(1, scan(field('1', "Acme Tool") + "\x16"
                                                "0"));
    EXPECT_EQ(0.0, record_.remote_version);
    EXPECT_STREQ("", record_.download_url);
}

TEST_F(UpdateScan, FieldsInAnyOrderAndUnknownTypesLogged) {
    std::string answer = field('1', "Acme Tool") + field('4', "http://a/s.exe") +
                         field('9', "nine") + field('3', "http://a/") + field('2', "3.0") +
                         field('x', "") +
                         "\x16"
                         "0";
    ASSERT_EQ(1, scan(answer));
    EXPECT_EQ(3.0, record_.remote_version);
    EXPECT_STREQ("http://a/s.exe", record_.download_url);
    EXPECT_EQ("Unknown 'nine'\nUnknown ''\n", read_file(log_path_));
}

TEST_F(UpdateScan, EndsWithoutARecordOrOnATooLongValue) {
    struct Case {
        std::string answer;
    } cases[] = {
        {"HTTP/1.0 404 Not Found\r\n\r\n<html>no such page</html>"},
        {""},
        {record("Acme Tool", "2", "p", "d").substr(0, 28)},
        {field('1', "Acme Tool") + field('2', "2") + "\x16"},
        {field('1', "Acme Tool") + field('2', std::string(80, '1')) +
         "\x16"
         "0"},
        {field('1', "Acme Tool") + field('3', std::string(320, 'p')) +
         "\x16"
         "0"},
        {field('1', "Acme Tool") + field('4', std::string(320, 'd')) +
         "\x16"
         "0"},
        {field('1', std::string(320, 'k')) +
         "\x16"
         "0" +
         record("Acme Tool", "2", "p", "d")},
        {field('7', std::string(320, 'o')) + record("Acme Tool", "2", "p", "d")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(0, scan(c.answer)) << c.answer;
    }
    std::string longest = field('1', "Acme Tool") + field('2', std::string(79, '1')) +
                          field('3', std::string(319, 'p')) + field('4', std::string(319, 'd')) +
                          "\x16"
                          "0";
    EXPECT_EQ(1, scan(longest));
}

TEST_F(UpdateScan, ARecordStartClearsKeyVersionAndPage) {
    std::string answer = field('1', "Acme Tool") + field('2', "4") + field('3', "http://old/") +
                         field('1', "Acme Tool") +
                         "\x16"
                         "0";
    ASSERT_EQ(1, scan(answer));
    EXPECT_STREQ("", record_.version);
    EXPECT_STREQ("", record_.page_url);
    EXPECT_EQ(4.0, record_.remote_version);
}

class UpdateFindProduct : public testing::Test {
  protected:
    void SetUp() override {
        log_path_ = open_test_log("update_find.log", LOG_FILE);
        text_copy(state_.company_name, sizeof state_.company_name, "Acme");
        text_copy(state_.product_name, sizeof state_.product_name, "Tool");
    }
    void TearDown() override { log_close(); }
    std::string log_path_;
    InstallState state_{};
    UpdateRecord record_{};
};

TEST_F(UpdateFindProduct, ComparesVersionsAsNumbers) {
    struct Case {
        const char* installed;
        const char* remote;
        int newer;
        const char* log;
    } cases[] = {
        {"1.5", "1.50", 0, "Match: 1.500000 1.500000\n"},
        {"1.10", "1.9", 1, "Match: 1.100000 1.900000\n"},
        {"1.9", "1.10", 0, "Match: 1.900000 1.100000\n"},
        {"1.99", "2", 1, "Match: 1.990000 2.000000\n"},
        {"2.0", "1.0", 0, "Match: 2.000000 1.000000\n"},
        {"beta 1", "0.1", 1, "Match: 0.000000 0.100000\n"},
        {"beta 1", "0", 0, "Match: 0.000000 0.000000\n"},
    };
    for (const Case& c : cases) {
        text_copy(state_.product_version, sizeof state_.product_version, c.installed);
        std::string answer = g_head + record("Acme Tool", c.remote, "http://a/", "http://a/s.exe");
        std::string before = read_file(log_path_);
        int newer = -1;
        ASSERT_EQ(1, update_find_product(&state_, answer.c_str(), &record_, &newer)) << c.remote;
        EXPECT_EQ(c.newer, newer) << c.installed << " / " << c.remote;
        EXPECT_EQ(before + c.log, read_file(log_path_));
    }
}

TEST_F(UpdateFindProduct, ShortensTheInstalledVersionEvenWithoutARecord) {
    text_copy(state_.product_version, sizeof state_.product_version, "1.50 beta");
    int newer = -1;
    EXPECT_EQ(0, update_find_product(&state_, "no fields here", &record_, &newer));
    EXPECT_EQ(0, newer);
    EXPECT_STREQ("1.50", state_.product_version);
    EXPECT_EQ("", read_file(log_path_));
}

} // namespace
