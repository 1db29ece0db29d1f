// The portable update parts: the update information, version comparison,
// the download's file name, status and length.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "script/install_state.h"
#include "support/log_file.h"
#include "update/download.h"
#include "update/update_info.h"

namespace {

std::string field(char type, const std::string& value) {
    return std::string("\x16") + type + value + "\r\n";
}

std::string record(const std::string& key, const std::string& version) {
    return field('1', key) + field('2', version) + field('3', "http://a/") +
           field('4', "http://a/s.exe") + "\x16" + "0\r\n";
}

class Update : public testing::Test {
  protected:
    void SetUp() override { log_ = open_test_log(test_name() + ".log", LOG_FILE); }
    void TearDown() override { log_close(); }
    static std::string test_name() {
        return testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    std::string log() { return read_file(log_); }
    std::string log_;
};

TEST_F(Update, VersionsAreShortenedAndComparedAsNumbers) {
    struct Case {
        const char *installed, *remote, *shortened, *log;
        int newer;
    } cases[] = {
        {"1.5", "1.50", "1.5", "Match: 1.500000 1.500000\n", 0},
        {"1.10", "1.9", "1.10", "Match: 1.100000 1.900000\n", 1},
        {"1.99 beta", "2", "1.99", "Match: 1.990000 2.000000\n", 1},
        {"2.0", "1.0-rc1", "2.0", "Match: 2.000000 1.000000\n", 0},
        {"v1", ".5", "", "Match: 0.000000 0.500000\n", 1},
        {"1.2.3", "1.2", "1.2.3", "Match: 1.200000 1.200000\n", 0},
    };
    for (const Case& c : cases) {
        InstallState state{};
        text_copy(state.company_name, sizeof state.company_name, "Acme");
        text_copy(state.product_name, sizeof state.product_name, "Tool");
        text_copy(state.product_version, sizeof state.product_version, c.installed);
        std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + record("Other", "9") +
                             record("aCmE tOoL", c.remote) + record("Acme Tool", "8");
        UpdateRecord found;
        int newer = -1;
        std::string before = log();
        ASSERT_EQ(1, update_find_product(&state, answer.c_str(), &found, &newer)) << c.remote;
        EXPECT_EQ(c.newer, newer) << c.installed << " / " << c.remote;
        EXPECT_STREQ(c.shortened, state.product_version);
        EXPECT_EQ(before + c.log, log());
        EXPECT_EQ("aCmE tOoL|http://a/|http://a/s.exe",
                  std::string(found.key) + "|" + found.page_url + "|" + found.download_url);
    }
}

TEST_F(Update, ScanningTheUpdateInformation) {
    const std::string end = "\x16"
                            "0";
    struct Case {
        std::string answer;
        int found;
        const char *version, *page, *download;
        double number;
    } cases[] = {
        // Unknown fields are logged; the order of the fields does not matter.
        {field('1', "Acme Tool") + field('4', "d") + field('9', "nine") + field('x', "") +
             field('2', "3.0") + end,
         1, "3.0", "", "d", 3.0},
        // The version number and download URL carry over, the rest is cleared.
        {field('1', "Other") + field('2', "5.5") + field('3', "p") + field('4', "d") + end +
             field('1', "Acme Tool") + end,
         1, "", "", "d", 5.5},
        {field('1', "Acme Tool") + field('2', std::string(79, '9')) +
             field('3', std::string(319, 'p')) + end,
         1, "", "", "", 0},
        {field('1', "Acme Tool") + field('2', std::string(80, '1')) + end, 0, "", "", "", 0},
        {field('1', "Acme Tool") + field('3', std::string(320, 'p')) + end, 0, "", "", "", 0},
        {field('7', std::string(320, 'o')) + record("Acme Tool", "2"), 0, "", "", "", 0},
        {field('1', "Acme Tool ") + end, 0, "", "", "", 0},
        {field('1', "Acme Tool") + field('2', "2") + "\x16", 0, "", "", "", 0},
        {"HTTP/1.0 404 Not Found\r\n\r\n<html>no such page</html>", 0, "", "", "", 0},
    };
    for (const Case& c : cases) {
        UpdateRecord found{};
        ASSERT_EQ(c.found, update_scan(c.answer.c_str(), "Acme Tool", &found)) << c.answer;
        if (c.download[0] != '\0') {
            EXPECT_STREQ(c.version, found.version);
            EXPECT_STREQ(c.page, found.page_url);
            EXPECT_STREQ(c.download, found.download_url);
            EXPECT_EQ(c.number, found.remote_version);
        }
    }
    EXPECT_EQ("Unknown 'nine'\nUnknown ''\n", log());
}

TEST_F(Update, FileNameOfTheDownload) {
    struct Case {
        const char *url, *name;
        int safe;
    } cases[] = {
        {"http://server/files/setup.exe", "setup.exe", 1},
        {"http://server/get?f=a.exe", "get?f=a.exe", 1},
        {"setup.exe", "setup.exe", 1},
        {"http://server/set$up.exe", "set$up.exe", 1},
        {"http://server/a..exe", "a..exe", 0},
        {"http://server/x?f=\\evil.exe", "x?f=\\evil.exe", 0},
        {"http://server/C:evil.exe", "C:evil.exe", 0},
        {"http://server/$4setup.exe", "$4setup.exe", 0},
    };
    for (const Case& c : cases) {
        char name[UPDATE_PATH_SIZE];
        EXPECT_EQ(1, update_file_name(c.url, name, sizeof name));
        EXPECT_STREQ(c.name, name);
        EXPECT_EQ(c.safe, update_file_name_safe(name)) << c.url;
    }
    EXPECT_EQ(7, parse_leading_digits("007\r\n"));
    EXPECT_EQ(0, parse_leading_digits("+12"));
    EXPECT_EQ(2147483647, parse_leading_digits("99999999999999"));
    EXPECT_EQ(5, parse_leading_digits((std::string(78, '0') + "5").c_str()));
    EXPECT_EQ(0, parse_leading_digits((std::string(79, '0') + "5").c_str())); // 79 digits at most
}

// Feeds the answer to the download in pieces, as the receive loop does, into
// a buffer of `capacity` bytes; the body handed out lands in `body`.
int download(const std::vector<std::string>& pieces, std::string* body, int capacity = 4096) {
    std::string buffer(static_cast<size_t>(capacity), '#');
    UpdateDownload state;
    update_download_start(&state);
    for (const std::string& piece : pieces) {
        int n = std::min(static_cast<int>(piece.size()), capacity - state.write_position - 1);
        piece.copy(&buffer[static_cast<size_t>(state.write_position)], static_cast<size_t>(n));
        buffer[static_cast<size_t>(state.write_position + n)] = '\0';
        const char* part = nullptr;
        int length = -1;
        if (update_download_take(&state, &buffer[0], n, &part, &length)) {
            body->append(part, static_cast<size_t>(length));
            state.written += length;
        }
    }
    return update_download_outcome(&state);
}

TEST_F(Update, TheDownloadsStatusAndLength) {
    const std::string ok = "HTTP/1.0 200 OK\r\n";
    struct Case {
        std::string answer;
        int result;
        const char* body;
    } cases[] = {
        {"HTTP/1.1 206 Partial\r\ncontent-length:\t 4\r\n\r\nbody", 1, "body"},
        {"HTTP/1.0 299\r\nContent-Length: 4\r\n\r\nbody", 1, "body"},
        {"HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\nbody", 0, ""},
        {"HTTP/1.0 2000 OK\r\n\r\nbody", 0, ""},
        {"HTTP/1.0\t200 OK\r\n\r\nbody", 0, ""},
        {"http/1.0 200 OK\r\n\r\nbody", 0, ""},
        {ok + "Content-Length: 5\r\n\r\nbody", 0, "body"},
        {ok + "Content-Length: 3\r\n\r\nbody", 0, "body"},
        {ok + "Content-Length: +4\r\n\r\nbody", 1, "body"},
        {ok + "Content-Length:\r\n\r\n12345", 1, "12345"},
        {ok + "\r\nContent-Length: 5\r\nabc", 1, "Content-Length: 5\r\nabc"},
        {ok + "\r\n", 0, ""},
        {ok + "no end of head", 0, ""},
    };
    for (const Case& c : cases) {
        std::string body;
        EXPECT_EQ(c.result, download({c.answer}, &body)) << c.answer;
        EXPECT_EQ(c.body, body) << c.answer;
    }
    EXPECT_EQ("Filesize = 4 (0k)\nFilesize = 4 (0k)\nFilesize = 4 (0k)\n"
              "No file in the answer 'HTTP/1.0 404 Not Found'\n"
              "No file in the answer 'HTTP/1.0 2000 OK'\nNo file in the answer 'HTTP/1.0'\n"
              "No file in the answer 'http/1.0 200 OK'\n"
              "Filesize = 5 (0k)\nSizes to not match (5 != 4)\n"
              "Filesize = 3 (0k)\nSizes to not match (3 != 4)\n"
              "Filesize = 0 (0k)\nFilesize = 0 (0k)\n",
              log());
}

TEST_F(Update, TheHeadMayArriveInPiecesAndLaterPiecesReuseTheBuffer) {
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 6000\r\n\r\n";
    std::string answer = head + std::string(6000, 'b');
    size_t end = head.size() - 4;
    for (size_t cut = end; cut <= end + 4; ++cut) {
        std::string body;
        EXPECT_EQ(1, download({answer.substr(0, cut), answer.substr(cut, 900),
                               answer.substr(cut + 900, 2000), answer.substr(cut + 2900)},
                              &body, static_cast<int>(head.size()) + 4000));
        EXPECT_EQ(std::string(6000, 'b'), body) << cut;
    }
    std::string body;
    EXPECT_EQ(
        0, download({"HTTP/1.0 200 OK\r\nX: " + std::string(200, 'x'), "\r\n\r\nbody"}, &body, 64));
    EXPECT_EQ("", body);
}

} // namespace
