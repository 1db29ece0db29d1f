#include "net/maker.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/memory.h"
#include "net/socket.h"

const unsigned char g_loopback[4] = {127, 0, 0, 1};

namespace {

class NetEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        ASSERT_EQ(1, sock_startup());
    }
    void TearDown() override { sock_cleanup(); }
};

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new NetEnvironment);

} // namespace

int maker_port() {
    const char* port = getenv("MAKER_SERVER_PORT");
    EXPECT_NE(nullptr, port) << "run under tests/e2e/maker_server.py";
    return port ? atoi(port) : 0;
}

std::string maker_url(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(maker_port()) + path;
}

SocketRecord* maker_connect() {
    SocketRecord* socket = nullptr;
    sock_new(&socket);
    EXPECT_EQ(1, sock_open(socket, SOCK_PROTOCOL_TCP));
    EXPECT_EQ(1, sock_connect(socket, g_loopback, maker_port()));
    return socket;
}

std::string maker_get(const std::string& path) {
    SocketRecord* socket = maker_connect();
    std::string head = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    int sent = 0;
    EXPECT_EQ(1, sock_send(socket, head.data(), static_cast<int>(head.size()), &sent));
    EXPECT_EQ(static_cast<int>(head.size()), sent);
    std::string answer;
    char buffer[4096];
    int received = 0;
    while (sock_receive(socket, buffer, sizeof buffer, &received)) {
        answer.append(buffer, static_cast<size_t>(received));
    }
    sock_free(&socket);
    return answer;
}
