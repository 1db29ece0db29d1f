#include "update/download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "support/log_file.h"

namespace {

TEST(ParseLeadingDigits, OnlyDigitsAtTheStart) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"1000", 1000},
        {"1000\r\n", 1000},
        {"64abc", 64},
        {"", 0},
        {" 12", 0},
        {"+12", 0},
        {"-12", 0},
        {"x", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"99999999999999", 2147483647},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, parse_leading_digits(c.text)) << c.text;
    }
    EXPECT_EQ(0, parse_leading_digits(nullptr));
    // At most 79 digits are read: an 80th does not count.
    EXPECT_EQ(0, parse_leading_digits((std::string(80, '0') + "5").c_str()));
    EXPECT_EQ(5, parse_leading_digits((std::string(78, '0') + "5").c_str()));
}

TEST(UpdateFileName, TheUrlsLastSegment) {
    struct Case {
        const char* url;
        const char* name;
        int safe;
    } cases[] = {
        {"http://server/files/setup.exe", "setup.exe", 1},
        {"http://server/get?f=a.exe", "get?f=a.exe", 1},
        {"http://server/files/", "", 1},
        {"setup.exe", "setup.exe", 1},
        {"/setup.exe", "/setup.exe", 1},
        {"http://server/files/..", "..", 0},
        {"http://server/a..exe", "a..exe", 0},
        {"http://server/x?f=..\\..\\win.ini", "x?f=..\\..\\win.ini", 0},
        {"http://server/x?f=\\evil.exe", "x?f=\\evil.exe", 0},
        {"http://server/C:evil.exe", "C:evil.exe", 0},
        {"http://server/$4setup.exe", "$4setup.exe", 0},
        {"http://server/set$up.exe", "set$up.exe", 1},
    };
    for (const Case& c : cases) {
        char name[UPDATE_PATH_SIZE];
        EXPECT_EQ(1, update_file_name(c.url, name, sizeof name)) << c.url;
        EXPECT_STREQ(c.name, name) << c.url;
        if (c.name[0] != '/') {
            EXPECT_EQ(c.safe, update_file_name_safe(name)) << c.url;
        }
    }
}

// Feeds the answer to the download in the given pieces, as the receive loop
// does, and collects the body it hands out.
class DownloadTake : public testing::Test {
  protected:
    void SetUp() override { log_path_ = open_test_log("download_take.log", LOG_FILE); }
    void TearDown() override { log_close(); }

    int run(const std::vector<std::string>& pieces, int capacity = 4096) {
        buffer_.assign(static_cast<size_t>(capacity), '#');
        update_download_start(&download_);
        body_.clear();
        for (const std::string& piece : pieces) {
            int room = capacity - download_.write_position - 1;
            int n = static_cast<int>(piece.size()) < room ? static_cast<int>(piece.size()) : room;
            piece.copy(&buffer_[static_cast<size_t>(download_.write_position)],
                       static_cast<size_t>(n));
            buffer_[static_cast<size_t>(download_.write_position + n)] = '\0';
            const char* body = nullptr;
            int length = -1;
            if (update_download_take(&download_, &buffer_[0], n, &body, &length)) {
                body_.append(body, static_cast<size_t>(length));
                download_.written += length;
            }
        }
        return update_download_outcome(&download_);
    }

    std::string log_path_;
    std::string buffer_;
    std::string body_;
    UpdateDownload download_{};
};

const std::string g_body = std::string("MZ\0\r\n\r\nbody", 11) + std::string(989, 'b');

TEST_F(DownloadTake, AnnouncedLengthMustArriveWhole) {
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n";
    EXPECT_EQ(1, run({head + g_body}));
    EXPECT_EQ(g_body, body_);
    EXPECT_EQ(1000, download_.content_length);

    EXPECT_EQ(0, run({head + g_body.substr(0, 999)}));
    EXPECT_EQ(0, run({head + g_body + "x"}));
    EXPECT_EQ("Filesize = 1000 (0k)\n"
              "Filesize = 1000 (0k)\nSizes to not match (1000 != 999)\n"
              "Filesize = 1000 (0k)\nSizes to not match (1000 != 1001)\n",
              read_file(log_path_));
}

TEST_F(DownloadTake, AHeadSplitInsideItsEndIsStillFound) {
    std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + g_body;
    size_t end = answer.find("\r\n\r\n");
    for (size_t cut = end; cut <= end + 4; ++cut) {
        EXPECT_EQ(1, run({answer.substr(0, cut), answer.substr(cut, 10), answer.substr(cut + 10)}))
            << cut;
        EXPECT_EQ(g_body, body_) << cut;
    }
    // One byte at a time.
    std::vector<std::string> bytes;
    for (char c : answer) {
        bytes.emplace_back(1, c);
    }
    EXPECT_EQ(1, run(bytes));
    EXPECT_EQ(g_body, body_);
}

TEST_F(DownloadTake, WithoutALengthAnyBodyByteSucceedsAndNoneFails) {
    EXPECT_EQ(1, run({"HTTP/1.0 200 OK\r\n\r\nx"}));
    EXPECT_EQ("x", body_);
    EXPECT_EQ(0, run({"HTTP/1.0 200 OK\r\n\r\n"}));
    EXPECT_EQ(0, run({"HTTP/1.0 200 OK\r\n\r\n", ""}));
    EXPECT_EQ(1, run({"HTTP/1.0 200 OK\r\n\r\n", "", "y"}));
    EXPECT_EQ(0, run({"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"}));
    EXPECT_EQ(0, run({"HTTP/1.0 200 OK\r\nno end of head"}));
    EXPECT_EQ(0, run({}));
}

TEST_F(DownloadTake, TheLengthIsReadFromTheHeadOnly) {
    EXPECT_EQ(1, run({"HTTP/1.0 200 OK\r\n\r\nContent-Length: 5\r\nabc"}));
    EXPECT_EQ(0, download_.content_length);
    EXPECT_EQ("Content-Length: 5\r\nabc", body_);
    // An empty value does not reach into the body for digits.
    EXPECT_EQ(1, run({"HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n12345"}));
    EXPECT_EQ(0, download_.content_length);
    EXPECT_EQ("12345", body_);
    EXPECT_EQ("Filesize = 0 (0k)\n", read_file(log_path_));
}

TEST_F(DownloadTake, LengthValuesWithBlanksSignsAndCase) {
    struct Case {
        std::string line;
        int length;
    } cases[] = {
        {"Content-Length: 4", 4},       {"content-length:\t \t4", 4}, {"CONTENT-LENGTH:4", 4},
        {"Content-Length: +4", 0},      {"Content-Length: -4", 0},    {"Content-Length: x", 0},
        {"Content-Length: 2048", 2048},
    };
    for (const Case& c : cases) {
        run({"HTTP/1.0 200 OK\r\n" + c.line + "\r\n\r\nbody"});
        EXPECT_EQ(c.length, download_.content_length) << c.line;
        EXPECT_EQ("body", body_) << c.line;
    }
}

TEST_F(DownloadTake, OnlyASuccessStatusCarriesTheFile) {
    struct Case {
        std::string head;
        int result;
    } cases[] = {
        {"HTTP/1.0 200 OK", 1},
        {"HTTP/1.1 206 Partial Content", 1},
        {"HTTP/1.0 299", 1},
        {"HTTP/1.0 404 Not Found", 0},
        {"HTTP/1.0 502 Bad Gateway", 0},
        {"HTTP/1.0 302 Found", 0},
        {"HTTP/1.0 2000 OK", 0},
        {"HTTP/1.0  200 OK", 0},
        {"http/1.0 200 OK", 0},
        {"<html>", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, run({c.head + "\r\nContent-Length: 4\r\n\r\nbody"})) << c.head;
        EXPECT_EQ(c.result ? "body" : "", body_) << c.head;
    }
    std::string log = read_file(log_path_);
    EXPECT_NE(std::string::npos, log.find("No file in the answer 'HTTP/1.0 404 Not Found'\n"));
    EXPECT_NE(std::string::npos, log.find("No file in the answer '<html>'\n"));
}

TEST_F(DownloadTake, LaterPiecesLandAtTheBodysStart) {
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 6000\r\n\r\n";
    std::vector<std::string> pieces = {head + std::string(102, 'a')};
    for (char c = 'b'; c <= 'g'; ++c) {
        pieces.push_back(std::string(983, c));
    }
    // A small buffer: each piece must reuse the room behind the head.
    EXPECT_EQ(1, run(pieces, static_cast<int>(head.size()) + 1000));
    EXPECT_EQ(static_cast<int>(head.size()), download_.write_position);
    EXPECT_EQ(6000u, body_.size());
    EXPECT_EQ(std::string(983, 'g'), body_.substr(6000 - 983));
}

TEST_F(DownloadTake, AHeadThatFillsTheBufferNeverFinishes) {
    EXPECT_EQ(0, run({"HTTP/1.0 200 OK\r\nX: " + std::string(200, 'x'), "\r\n\r\nbody"}, 64));
    EXPECT_EQ(0, download_.head_finished);
    EXPECT_EQ("", body_);
}

} // namespace
