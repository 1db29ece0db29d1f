#include "net/socket.h"

#include <gtest/gtest.h>
#include <winsock.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "net/maker.h"
#include "support/log_file.h"

namespace {

class SocketTest : public testing::Test {
  protected:
    void TearDown() override {
        sock_free(&socket_);
        log_close();
    }
    SocketRecord* socket_ = nullptr;
};

TEST_F(SocketTest, NewRecordHasNoSocketAndFiveMinuteTimeouts) {
    ASSERT_EQ(1, sock_new(&socket_));
    ASSERT_NE(nullptr, socket_);
    EXPECT_EQ(SOCK_NO_HANDLE, socket_->handle);
    EXPECT_EQ(300000, socket_->receive_timeout_ms);
    EXPECT_EQ(300000, socket_->send_timeout_ms);
    EXPECT_EQ(0, socket_->protocol);
    EXPECT_EQ(1, sock_close(socket_));
    EXPECT_EQ(1, sock_free(&socket_));
    EXPECT_EQ(nullptr, socket_);
    EXPECT_EQ(1, sock_free(&socket_));
}

TEST_F(SocketTest, OpeningLogsMisuseAndUnknownProtocols) {
    std::string path = open_test_log("socket_open.log", LOG_FILE);
    EXPECT_EQ(0, sock_open(nullptr, SOCK_PROTOCOL_TCP));
    sock_new(&socket_);
    EXPECT_EQ(0, sock_open(socket_, 0));
    EXPECT_EQ(0, sock_open(socket_, 6));
    EXPECT_EQ(0, socket_->protocol);
    EXPECT_EQ(SOCK_NO_HANDLE, socket_->handle);
    ASSERT_EQ(1, sock_open(socket_, SOCK_PROTOCOL_TCP));
    unsigned handle = socket_->handle;
    EXPECT_EQ(1, socket_->protocol);
    EXPECT_EQ(0, sock_open(socket_, SOCK_PROTOCOL_UDP));
    EXPECT_EQ(handle, socket_->handle);
    EXPECT_EQ("Socket must be created first!\n"
              "Unknown socket protocol '0'\n"
              "Unknown socket protocol '6'\n"
              "Socket must be closed first!\n",
              read_file(path));
    EXPECT_EQ(1, sock_close(socket_));
    EXPECT_EQ(SOCK_NO_HANDLE, socket_->handle);
    EXPECT_EQ(1, sock_close(socket_));
    EXPECT_EQ(0, sock_close(nullptr));
    EXPECT_EQ(0, sock_shutdown(socket_));
    EXPECT_EQ(0, sock_set_blocking(socket_, 1));
    // After the close the record opens again; the system refuses datagram
    // sockets for the unusual protocol numbers, so only these two are certain.
    for (int code : {2, 5}) {
        ASSERT_EQ(1, sock_open(socket_, code)) << code;
        EXPECT_EQ(code, socket_->protocol);
        sock_close(socket_);
    }
}

TEST_F(SocketTest, OperationsWithoutARecordFailQuietly) {
    std::string path = open_test_log("socket_missing.log", LOG_FILE);
    char buffer[8];
    int count = -1;
    EXPECT_EQ(0, sock_connect(nullptr, g_loopback, maker_port()));
    EXPECT_EQ(0, sock_send(nullptr, "x", 1, &count));
    EXPECT_EQ(0, count);
    count = -1;
    EXPECT_EQ(0, sock_receive(nullptr, buffer, sizeof buffer, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, sock_shutdown(nullptr));
    EXPECT_EQ(0, sock_set_blocking(nullptr, 0));
    SocketSet set;
    sock_set_clear(&set);
    EXPECT_EQ(0, sock_set_add(&set, nullptr));
    EXPECT_EQ(0, sock_set_has(&set, nullptr));
    EXPECT_EQ("", read_file(path));
}

TEST_F(SocketTest, SetsHoldEachHandleOnceAndAtMost64) {
    SocketSet set;
    memset(&set, 0x5A, sizeof set);
    sock_set_clear(&set);
    EXPECT_EQ(0u, set.count);
    for (unsigned handle : set.handles) {
        EXPECT_EQ(0u, handle);
    }
    SocketRecord record{};
    record.handle = 100;
    EXPECT_EQ(0, sock_set_has(&set, &record));
    EXPECT_EQ(1, sock_set_add(&set, &record));
    EXPECT_EQ(1, sock_set_add(&set, &record));
    EXPECT_EQ(1u, set.count);
    EXPECT_EQ(1, sock_set_has(&set, &record));
    for (unsigned handle = 101; handle < 200; ++handle) {
        record.handle = handle;
        EXPECT_EQ(1, sock_set_add(&set, &record));
    }
    EXPECT_EQ(64u, set.count);
    EXPECT_EQ(163u, set.handles[63]);
    record.handle = 170;
    EXPECT_EQ(0, sock_set_has(&set, &record));
}

TEST_F(SocketTest, ConnectsSendsAndReceivesUntilThePeerCloses) {
    std::string path = open_test_log("socket_exchange.log", LOG_FILE);
    socket_ = maker_connect();
    EXPECT_EQ(0, memcmp(g_loopback, socket_->peer_address, 4));
    EXPECT_EQ(maker_port(), socket_->peer_port);
    EXPECT_STREQ("No Error", sock_error_text(socket_));

    int sent = -1;
    EXPECT_EQ(1, sock_send(socket_, "", 0, &sent));
    EXPECT_EQ(0, sent);
    const std::string head = "GET /echo HTTP/1.0\r\nHost: x\r\n\r\n";
    ASSERT_EQ(1, sock_send(socket_, head.data(), static_cast<int>(head.size()), &sent));
    EXPECT_EQ(static_cast<int>(head.size()), sent);

    std::string answer;
    char buffer[7];
    int received = -1;
    while (sock_receive(socket_, buffer, sizeof buffer, &received)) {
        EXPECT_LE(received, 7);
        answer.append(buffer, static_cast<size_t>(received));
    }
    EXPECT_EQ(0, received);
    EXPECT_EQ(head, answer.substr(answer.size() - head.size()));
    EXPECT_EQ(0, answer.find("HTTP/1.0 200 OK\r\n"));
    EXPECT_EQ(0, sock_receive(socket_, buffer, sizeof buffer, &received));
    EXPECT_EQ(1, sock_shutdown(socket_));
    EXPECT_EQ(1, sock_close(socket_));
    EXPECT_EQ("", read_file(path));
}

TEST_F(SocketTest, ARefusedConnectionFailsWithoutALogLine) {
    // A port that was just free: nothing listens there.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address));
    int size = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(probe);

    std::string path = open_test_log("socket_refused.log", LOG_FILE);
    sock_new(&socket_);
    sock_open(socket_, SOCK_PROTOCOL_TCP);
    socket_->send_timeout_ms = 20000;
    EXPECT_EQ(0, sock_connect(socket_, g_loopback, ntohs(address.sin_port)));
    EXPECT_EQ(0, socket_->peer_port);
    EXPECT_EQ("", read_file(path));
}

TEST_F(SocketTest, ASilentPeerEndsTheReceiveWithTheTimeout) {
    std::string path = open_test_log("socket_silent.log", LOG_FILE);
    socket_ = maker_connect();
    socket_->receive_timeout_ms = 400;
    const std::string head = "GET /silent HTTP/1.0\r\n\r\n";
    int sent = 0;
    ASSERT_EQ(1, sock_send(socket_, head.data(), static_cast<int>(head.size()), &sent));
    char buffer[16];
    int received = -1;
    DWORD started = GetTickCount();
    EXPECT_EQ(0, sock_receive(socket_, buffer, sizeof buffer, &received));
    DWORD waited = GetTickCount() - started;
    EXPECT_EQ(0, received);
    EXPECT_GE(waited, 300u);
    EXPECT_EQ("Socket timeout (400)\n", read_file(path));
}

TEST_F(SocketTest, AFullBacklogEndsTheConnectWithTheConnectTimeout) {
    // A listener that accepts nobody: once its queue is full, further
    // connection attempts get no answer at all.
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listener, 0));
    int size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    int port = ntohs(address.sin_port);

    std::string path = open_test_log("socket_connect_timeout.log", LOG_FILE);
    SocketRecord* queued[4] = {};
    int timeouts = 0;
    for (SocketRecord*& record : queued) {
        sock_new(&record);
        sock_open(record, SOCK_PROTOCOL_TCP);
        record->send_timeout_ms = 700;
        if (!sock_connect(record, g_loopback, port)) {
            ++timeouts;
        }
    }
    for (SocketRecord*& record : queued) {
        sock_free(&record);
    }
    closesocket(listener);
    ASSERT_GE(timeouts, 1);
    std::string expected;
    for (int i = 0; i < timeouts; ++i) {
        expected += "Socket connect timeout (700)\n";
    }
    EXPECT_EQ(expected, read_file(path));
}

TEST(SocketHost, ResolvesNamesAddressesAndUrls) {
    HostRecord host;
    memset(&host, 0x55, sizeof host);
    ASSERT_EQ(1, sock_host_by_name(&host, "localhost"));
    EXPECT_EQ(0, memcmp(g_loopback, host.address, 4));
    EXPECT_EQ(0, host.port);
    EXPECT_NE('\0', host.name[0]);

    ASSERT_EQ(1, sock_host_from_url(&host, maker_url("/x").c_str()));
    EXPECT_EQ(0, memcmp(g_loopback, host.address, 4));
    EXPECT_EQ(maker_port(), host.port);

    ASSERT_EQ(1, sock_host_from_url(&host, "localhost/x"));
    EXPECT_EQ(0, memcmp(g_loopback, host.address, 4));
    EXPECT_EQ(0, host.port);

    EXPECT_EQ(0, sock_host_from_url(&host, "http://no-such-host.invalid/x"));

    ASSERT_EQ(1, sock_local_host(&host));
    EXPECT_NE('\0', host.name[0]);
}

TEST(SocketError, TextOfTheThreadsLastError) {
    WSASetLastError(10061);
    EXPECT_STREQ("Connection refused", sock_error_text(nullptr));
    SocketRecord closed{};
    closed.handle = SOCK_NO_HANDLE;
    WSASetLastError(10060);
    EXPECT_STREQ("Connection timed out", sock_error_text(&closed));
    EXPECT_EQ(10060, sock_error_value(&closed));
}

} // namespace
