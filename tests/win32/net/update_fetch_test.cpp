#include "update/update.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/log.h"
#include "net/maker.h"
#include "support/log_file.h"

namespace {

class UpdateFetch : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
    std::vector<char> buffer_ = std::vector<char>(UPDATE_BUFFER_SIZE, '#');
};

TEST_F(UpdateFetch, ReadsTheWholeAnswerWithTheCheckAgent) {
    std::string path = open_test_log("update_fetch.log", LOG_FILE);
    std::string url = maker_url("/echo");
    ASSERT_EQ(1, update_fetch_info(url.c_str(), 0, buffer_.data(), UPDATE_BUFFER_SIZE));
    std::string answer = buffer_.data();
    EXPECT_EQ("GET /echo HTTP/1.0\r\n"
              "User-Agent: Pelmora Update Check Uninstall (www.pelmora.com)\r\n"
              "Host: 127.0.0.1\r\n"
              "Connection: closed\r\n\r\n",
              answer.substr(answer.find("\r\n\r\n") + 4));

    std::string log = read_file(path);
    std::string start = "Contacting 'http://127.0.0.1/' '/echo'\n"
                        "Proxy Disabled (0x00000000) : None\n";
    ASSERT_EQ(start, log.substr(0, start.size()));
    // Each piece names the bytes before it and its own count.
    std::regex line("Recieved -> (\\d+) \\[(\\d+)\\]\n");
    int total = 0;
    std::string rest = log.substr(start.size());
    std::smatch match;
    while (std::regex_search(rest, match, line, std::regex_constants::match_continuous)) {
        EXPECT_EQ(total, std::stoi(match[1]));
        total += std::stoi(match[2]);
        rest = match.suffix();
    }
    EXPECT_EQ("", rest);
    EXPECT_EQ(static_cast<int>(answer.size()), total);
}

TEST_F(UpdateFetch, AnAnswerLargerThanTheBufferIsCutAndTerminated) {
    std::string url = maker_url("/files/big.bin");
    ASSERT_EQ(1, update_fetch_info(url.c_str(), 0, buffer_.data(), 5000));
    EXPECT_EQ('\0', buffer_[4999]);
    EXPECT_EQ('#', buffer_[5000]);
    EXPECT_EQ(0, std::string(buffer_.data(), 16).find("HTTP/1.0 200 OK"));
}

TEST_F(UpdateFetch, NoConnectionNoResult) {
    std::string path = open_test_log("update_fetch_fail.log", LOG_FILE);
    EXPECT_EQ(0,
              update_fetch_info("http://127.0.0.1:1/info", 0, buffer_.data(), UPDATE_BUFFER_SIZE));
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/info'\n"
              "Proxy Disabled (0x00000000) : None\n"
              "Unable to connect to machine 127.0.0.1:1 for URL 'http://127.0.0.1:1/info'\n",
              read_file(path));
}

} // namespace
