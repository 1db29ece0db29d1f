// What the scenarios cannot reach cheaply: socket time-outs, request
// heads cut to their buffer, answers that fill the reply buffer, a full disk
// during a download. Runs under tests/e2e/maker_server.py, which names its port.
#include <windows.h>
#include <winsock.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "net/http.h"
#include "net/socket.h"
#include "net/tls.h"
#include "registration/submission.h"
#include "registration/submit.h"
#include "script/install_state.h"
#include "support/log_file.h"
#include "update/download.h"
#include "update/update.h"

namespace {

const unsigned char g_loopback[4] = {127, 0, 0, 1};

// A crash ends the run at once rather than waiting for a debugger.
LONG WINAPI end_at_once(EXCEPTION_POINTERS*) {
    return EXCEPTION_EXECUTE_HANDLER;
}

class NetEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        SetUnhandledExceptionFilter(end_at_once);
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        ASSERT_EQ(1, sock_startup());
    }
    void TearDown() override { sock_cleanup(); }
};
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new NetEnvironment);

int maker_port() { // named by tests/e2e/maker_server.py, which runs this program
    return atoi(getenv("MAKER_SERVER_PORT"));
}

std::string maker_url(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(maker_port()) + path;
}

SocketRecord* tcp_record(int timeout_ms) {
    SocketRecord* record = nullptr;
    sock_new(&record);
    EXPECT_EQ(1, sock_open(record, SOCK_PROTOCOL_TCP));
    record->send_timeout_ms = record->receive_timeout_ms = timeout_ms;
    return record;
}

class Net : public testing::Test {
  protected:
    void TearDown() override {
        sock_free(&socket_);
        log_close();
    }
    SocketRecord* socket_ = nullptr;
};

TEST_F(Net, ASilentPeerEndsTheReceiveWithTheTimeout) {
    std::string path = open_test_log("socket_silent.log", LOG_FILE);
    socket_ = tcp_record(400);
    ASSERT_EQ(1, sock_connect(socket_, g_loopback, maker_port()));
    const std::string head = "GET /silent HTTP/1.0\r\n\r\n";
    int sent = 0, received = -1;
    ASSERT_EQ(1, sock_send(socket_, head.data(), static_cast<int>(head.size()), &sent));
    char buffer[16];
    DWORD started = GetTickCount();
    EXPECT_EQ(0, sock_receive(socket_, buffer, sizeof buffer, &received));
    EXPECT_GE(GetTickCount() - started, 300u);
    EXPECT_EQ(0, received);
    EXPECT_EQ("Socket timeout (400)\n", read_file(path));
}

// Steps on a missing or closed record, a fresh socket's pending error, and a connect
// to an address that takes no connection end at once and without a word.
TEST_F(Net, NoSocketOrNoRouteFailsAtOnceAndQuietly) {
    std::string path = open_test_log("socket_quiet.log", LOG_FILE);
    SocketRecord* closed = tcp_record(700);
    sock_close(closed);
    char byte = 'x';
    int count = -1;
    for (SocketRecord* record : {closed, static_cast<SocketRecord*>(nullptr)}) {
        EXPECT_EQ(0, sock_connect(record, g_loopback, maker_port()));
        EXPECT_EQ(0, sock_send(record, &byte, 1, &count));
        EXPECT_EQ(0, count);
        EXPECT_EQ(0, sock_shutdown(record));
    }
    sock_free(&closed);
    socket_ = tcp_record(700);
    EXPECT_EQ(SOCK_ERROR_NONE, sock_error_value(socket_));
    const unsigned char broadcast[4] = {255, 255, 255, 255};
    EXPECT_EQ(0, sock_connect(socket_, broadcast, maker_port()));
    EXPECT_EQ("", read_file(path));
}

TEST_F(Net, AFullBacklogEndsTheConnectWithTheConnectTimeout) {
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

    std::string path = open_test_log("socket_connect_timeout.log", LOG_FILE);
    std::string expected;
    for (int attempt = 0; attempt < 4; ++attempt) {
        SocketRecord* record = tcp_record(700);
        if (!sock_connect(record, g_loopback, ntohs(address.sin_port))) {
            expected += "Socket connect timeout (700)\n";
        }
        sock_free(&record);
    }
    closesocket(listener);
    EXPECT_NE("", expected);
    EXPECT_EQ(expected, read_file(path));
}

// Whole heads and bodies as the server reads them are checked by the registration
// and update scenarios.
TEST_F(Net, RequestHeadsAreCutToTheirBufferAndUnknownHostsRefused) {
    std::string path = open_test_log("http.log", LOG_FILE);
    std::string url = maker_url("/echo?x=1");
    char head[400];
    int length = 0;
    EXPECT_EQ(0, http_open_request(url.c_str(), nullptr, "GET", 0, 0, &socket_, head, 40, &length));
    EXPECT_EQ(0, http_open_request("http://no-such-host.invalid/x", nullptr, "GET", 0, 0, &socket_,
                                   head, sizeof head, &length));
    EXPECT_EQ(nullptr, socket_);
    TlsRequest* tls = nullptr;
    EXPECT_EQ(0, tls_open("https://127.0.0.1:0/x", nullptr, "GET", nullptr, 0, 0, &tls));
    const std::string proxy = "Proxy Disabled (0x00000000) : None\n";
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/echo?x=1'\n" + proxy +
                  "Request head does not fit in 40 bytes for URL '" + url + "'\n" +
                  "Contacting 'http://no-such-host.invalid/' '/x'\n" + proxy +
                  "Unable to get machine for URL 'http://no-such-host.invalid/x'\n"
                  "Unable to get machine for URL 'https://127.0.0.1:0/x'\n",
              read_file(path));
}

TEST_F(Net, AnAnswerLargerThanTheReplyBufferIsCut) {
    std::vector<char> buffer(UPDATE_BUFFER_SIZE, '#');
    std::string url = maker_url("/files/big.bin");
    ASSERT_EQ(1, update_fetch_info(url.c_str(), 0, buffer.data(), 5000));
    EXPECT_EQ('\0', buffer[4999]);
    EXPECT_EQ('#', buffer[5000]);
    EXPECT_EQ(0u, std::string(buffer.data(), 16).find("HTTP/1.0 200 OK"));

    // Registration: 3 MiB that never spell the word, and a refusal (the scenarios send the
    // accepted ones, the record's encoding is checked on the host).
    std::string text = "\x02"
                       "000v1.50 (Release)\x02"
                       "101Acme\x02"
                       "4010";
    std::vector<unsigned char> record(text.begin(), text.end());
    registration_scramble(record.data(), static_cast<int>(record.size()));
    for (const char* refused : {"/files/big.bin", "/register/refuse"}) {
        url = maker_url(refused);
        EXPECT_EQ(
            0, registration_submit(url.c_str(), 0, record.data(), static_cast<int>(record.size())))
            << refused;
    }
}

TEST_F(Net, DownloadsKeepWhatArrivedAndFailOnAFullDisk) {
    std::string folder = log_file_path("download_folder\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    InstallState state{};
    std::vector<char> buffer(UPDATE_BUFFER_SIZE);
    // full.bin in full_folder is a link to /dev/full, made by the build; served without a
    // length, only the failed write can fail its download.
    const struct {
        const char *folder, *name;
        int result;
        size_t size;
        const char* line;
    } cases[] = {
        {"download_folder\\", "split.bin", 1, 1000, "Filesize = 1000 (0k)\n"},
        {"download_folder\\", "nolength.bin", 1, 3000, "Recieved -> ["},
        {"download_folder\\", "big.bin", 1, 3145728, "Filesize = 3145728 (3072k)\n"},
        {"download_folder\\", "short.bin", 0, 999, "Sizes to not match (1000 != 999)\n"},
        {"download_folder\\", "long.bin", 0, 1001, "Sizes to not match (1000 != 1001)\n"},
        {"full_folder\\", "full.bin", 0, 0, "Unable to write file '"},
        {"download_folder\\", "", 0, 0, "Unable to open file '"},
        // Names that could leave the folder.
        {"download_folder\\", "..", 0, 0, "Refusing to save '..' into the installation folder\n"},
        {"download_folder\\", "C:evil.exe", 0, 0, "Refusing to save 'C:evil.exe' into the"},
        {"download_folder\\", "$4evil.exe", 0, 0, "Refusing to save '$4evil.exe' into the"},
        {"", "setup.exe", 0, 0, "Refusing to save 'setup.exe' into the installation folder\n"},
    };
    for (const auto& c : cases) {
        std::string path = open_test_log("update_download.log", LOG_FILE);
        std::string into = c.folder[0] ? log_file_path(c.folder) : "";
        text_copy(state.install_path, sizeof state.install_path, into.c_str());
        DeleteFileA((folder + c.name).c_str());
        std::string url = maker_url(std::string("/files/") + c.name);
        EXPECT_EQ(c.result,
                  update_download(&state, url.c_str(), 0, buffer.data(), UPDATE_BUFFER_SIZE))
            << c.name;
        log_close();
        EXPECT_NE(std::string::npos, read_file(path).find(c.line)) << c.name;
        if (c.size) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            GetFileAttributesExA((into + c.name).c_str(), GetFileExInfoStandard, &data);
            EXPECT_EQ(c.size, data.nFileSizeLow) << c.name;
        }
    }
}

} // namespace
