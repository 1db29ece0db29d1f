#include "net/http.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "net/maker.h"
#include "support/log_file.h"

namespace {

class HttpRequest : public testing::Test {
  protected:
    void TearDown() override {
        sock_free(&socket_);
        log_close();
    }

    // The whole answer to a request that has been opened.
    std::string exchange(const std::string& body = "") {
        EXPECT_EQ(1, http_send_all(socket_, head_, head_length_));
        EXPECT_EQ(1, http_send_all(socket_, body.data(), static_cast<int>(body.size())));
        std::string answer;
        char buffer[1024];
        int received = 0;
        while (sock_receive(socket_, buffer, sizeof buffer, &received)) {
            answer.append(buffer, static_cast<size_t>(received));
        }
        sock_shutdown(socket_);
        sock_close(socket_);
        sock_free(&socket_);
        return answer;
    }

    SocketRecord* socket_ = nullptr;
    char head_[20480];
    int head_length_ = 0;
};

TEST_F(HttpRequest, DirectGetSendsTheHeadByteForByte) {
    std::string path = open_test_log("http_direct.log", LOG_FILE);
    std::string url = maker_url("/echo?x=1");
    ASSERT_EQ(1, http_open_request(url.c_str(), "Agent 1.0 (x)", "GET", 0, 0, &socket_, head_,
                                   sizeof head_, &head_length_));
    const std::string head = "GET /echo?x=1 HTTP/1.0\r\n"
                             "User-Agent: Agent 1.0 (x)\r\n"
                             "Host: 127.0.0.1\r\n"
                             "Connection: closed\r\n\r\n";
    EXPECT_EQ(head, std::string(head_, static_cast<size_t>(head_length_)));
    EXPECT_EQ(maker_port(), socket_->peer_port);
    std::string answer = exchange();
    EXPECT_EQ(head, answer.substr(answer.find("\r\n\r\n") + 4));
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/echo?x=1'\n"
              "Proxy Disabled (0x00000000) : None\n",
              read_file(path));
}

TEST_F(HttpRequest, PostSendsItsLengthAndBody) {
    std::string url = maker_url("/echo");
    ASSERT_EQ(1, http_open_request(url.c_str(), nullptr, "POST", 11, 0, &socket_, head_,
                                   sizeof head_, &head_length_));
    std::string answer = exchange("name=value!");
    EXPECT_EQ("POST /echo HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n"
              "Content-Length: 11\r\n"
              "Connection: closed\r\n\r\n"
              "name=value!",
              answer.substr(answer.find("\r\n\r\n") + 4));
}

TEST_F(HttpRequest, MissingProxySettingsMeanADirectRequest) {
    // The test prefix names no proxy: both values are missing.
    std::string path = open_test_log("http_no_settings.log", LOG_FILE);
    std::string url = maker_url("/echo");
    ASSERT_EQ(1, http_open_request(url.c_str(), nullptr, "GET", 0, 1, &socket_, head_, sizeof head_,
                                   &head_length_));
    EXPECT_EQ(0, strncmp(head_, "GET /echo HTTP/1.0\r\n", 20));
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/echo'\n"
              "Unable to get 'ProxyEnable' integer\n"
              "Unable to get 'ProxyServer' string\n"
              "Proxy Disabled (0x00000000) : None\n",
              read_file(path));
}

TEST_F(HttpRequest, FailuresAreLoggedAndLeaveNoSocket) {
    std::string path = open_test_log("http_failures.log", LOG_FILE);
    EXPECT_EQ(0, http_open_request("http://no-such-host.invalid/x", nullptr, "GET", 0, 0, &socket_,
                                   head_, sizeof head_, &head_length_));
    // Without a scheme or a port the port is 0, which nobody answers.
    EXPECT_EQ(0, http_open_request("127.0.0.1/file", nullptr, "GET", 0, 0, &socket_, head_,
                                   sizeof head_, &head_length_));
    EXPECT_EQ(nullptr, socket_);
    std::string expected = "Contacting 'http://no-such-host.invalid/' '/x'\n"
                           "Proxy Disabled (0x00000000) : None\n"
                           "Unable to get machine for URL 'http://no-such-host.invalid/x'\n"
                           "Contacting '127.0.0.1/' '/file'\n"
                           "Proxy Disabled (0x00000000) : None\n"
                           "Unable to connect to machine 127.0.0.1:0 for URL '127.0.0.1/file'\n";
    EXPECT_EQ(expected, read_file(path));
}

TEST_F(HttpRequest, AHeadLargerThanItsBufferIsRefusedBeforeConnecting) {
    std::string path = open_test_log("http_small_buffer.log", LOG_FILE);
    std::string url = maker_url("/echo");
    char small[40];
    EXPECT_EQ(0, http_open_request(url.c_str(), nullptr, "GET", 0, 0, &socket_, small, sizeof small,
                                   &head_length_));
    EXPECT_EQ(nullptr, socket_);
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/echo'\n"
              "Proxy Disabled (0x00000000) : None\n"
              "Request head does not fit in 40 bytes for URL '" +
                  url + "'\n",
              read_file(path));
}

} // namespace
