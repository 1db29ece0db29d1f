// The portable net parts: URL and proxy texts, request heads, host lookup
// from a URL (against a resolver table of the test's own), error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "net/http.h"
#include "net/socket.h"
#include "support/log_file.h"

namespace {

std::string g_lookup; // the last lookup: "name:<text>" or "address:<a.b.c.d>"

std::string dotted(const unsigned char a[4]) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

// As the system resolver does: the whole record is rewritten.
int resolved(HostRecord* host, const char* name, const unsigned char address[4]) {
    memset(host, 0, sizeof *host);
    strcpy(host->name, name);
    memcpy(host->address, address, 4);
    return 1;
}

const unsigned char g_server[4] = {192, 0, 2, 7};

} // namespace

int sock_host_by_name(HostRecord* host, const char* name) {
    g_lookup = std::string("name:") + name;
    bool known = !strcmp(name, "server") || std::string(name) == std::string(119, 'h');
    return known && resolved(host, "server.example", g_server);
}

int sock_host_by_address(HostRecord* host, const unsigned char address[4]) {
    g_lookup = "address:" + dotted(address);
    return dotted(address) == "10.9.8.7" && resolved(host, "named.example", address);
}

namespace {

TEST(Http, SplitUrl) {
    struct Case {
        const char *url, *site, *path, *host;
    } cases[] = {
        {"http://server:8080/dir/file?x=1", "http://server/", "/dir/file?x=1", "server"},
        {"http://server", "http://server", "", "server"},
        {"server/file", "server/", "/file", "server"},
        {"http://127.0.0.1:5000/u?a=b:c/d", "http://127.0.0.1/", "/u?a=b:c/d", "127.0.0.1"},
        {"http://user:pw@server:81/x", "http://user:pw@server/", "/x", "server"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        HttpUrl parts;
        ASSERT_EQ(1, http_split_url(c.url, &parts)) << c.url;
        EXPECT_EQ(std::string(c.site) + "|" + c.path + "|" + c.host,
                  std::string(parts.site) + "|" + parts.path + "|" + parts.host);
    }
    std::string url = "http://server/" + std::string(305, 'p'); // 319 characters
    HttpUrl parts;
    EXPECT_EQ(1, http_split_url(url.c_str(), &parts));
    EXPECT_EQ(0, http_split_url((url + "p").c_str(), &parts));
}

TEST(Http, ProxyTextFromTheSettings) {
    struct Case {
        int enable;
        const char *server, *proxy;
        int size;
    } cases[] = {
        {1, "ftp=a:21;http=b:8080;https=c:443", "b:8080", 320},
        {1, "b:8080;", "b:8080", 320},
        {1, "HTTP=b:81;ftp=a:21", "b:81", 320},
        {1, "ftp=a:21", "ftp=a:21", 320},
        {1, "proxyhost:81", "proxy", 6},
        {1, "", "", 320},
        {0, "b:8080", "", 320},
        {2, "b:8080", "", 320},
    };
    for (const Case& c : cases) {
        char proxy[320] = "stale";
        EXPECT_EQ(c.proxy[0] != '\0', http_proxy_text(c.enable, c.server, proxy, c.size));
        EXPECT_STREQ(c.proxy, proxy) << c.server;
    }
}

std::string head_of(const char* method, const char* target, const char* agent, int body_length,
                    int capacity = 2048) {
    std::string buffer(static_cast<size_t>(capacity), '#');
    int length = -1;
    if (!http_compose_head(&buffer[0], capacity, method, target, agent, "server", body_length,
                           &length)) {
        return "<does not fit>";
    }
    EXPECT_EQ(strlen(buffer.c_str()), static_cast<size_t>(length));
    return buffer.c_str();
}

TEST(Http, RequestHeads) {
    EXPECT_EQ("GET /dir/f?x=1 HTTP/1.0\r\nUser-Agent: Pelmora Update Check Uninstall (www.example)"
              "\r\nHost: server\r\nConnection: closed\r\n\r\n",
              head_of("GET", "/dir/f?x=1", "Pelmora Update Check Uninstall (www.example)", 0));
    std::string post = "POST /reg HTTP/1.0\r\nHost: server\r\nContent-Length: 1234\r\n"
                       "Connection: closed\r\n\r\n";
    EXPECT_EQ(post, head_of("POST", "/reg", nullptr, 1234));
    int exact = static_cast<int>(post.size()) + 1;
    EXPECT_EQ(post, head_of("POST", "/reg", nullptr, 1234, exact));
    EXPECT_EQ("<does not fit>", head_of("POST", "/reg", nullptr, 1234, exact - 1));
    std::string target = "http://server/" + std::string(305, 't'), agent(319, 'a');
    EXPECT_EQ("GET " + target + " HTTP/1.0\r\nUser-Agent: " + agent +
                  "\r\nHost: server\r\nConnection: closed\r\n\r\n",
              head_of("GET", target.c_str(), agent.c_str(), -3));
}

TEST(Socket, HostAndPortFromTheUrl) {
    struct Case {
        std::string url;
        int result, port;
        const char *lookup, *name;
    } cases[] = {
        {"http://server/x", 1, 80, "name:server", "server.example"},
        {"FTP://server/x", 1, 21, "name:server", "server.example"},
        {"telnet://server", 1, 23, "name:server", "server.example"},
        {"shout://server/", 1, 8000, "name:server", "server.example"},
        {"gopher://server/x", 1, 0, "name:server", "server.example"},
        {"server:8080x/x", 1, 8080, "name:server", "server.example"},
        {"http://server:\t81/", 1, 81, "name:server", "server.example"},
        {"http://server:/x", 1, 0, "name:server", "server.example"},
        {"http://a@b@server:81/x@y", 1, 81, "name:server", "server.example"},
        {std::string(39, 's') + "://server/", 1, 0, "name:server", "server.example"},
        {"server/a?u=http://server:99/", 1, 99, "name:server", "server.example"},
        {"http://" + std::string(119, 'h') + "/x", 1, 80, "name:hhh", "server.example"},
        {"http://" + std::string(120, 'h'), 0, 0, "", ""},
        {"http://nowhere/x", 0, 0, "name:nowhere", ""},
        {"http://10.1.2.3/x", 1, 80, "address:10.1.2.3", "Unknown"},
        {"10.9.8.7:3128", 1, 3128, "address:10.9.8.7", "named.example"},
        {"http://1.2.3.4.5/x", 0, 0, "name:1.2.3.4.5", ""},
    };
    for (const Case& c : cases) {
        HostRecord host;
        g_lookup.clear();
        ASSERT_EQ(c.result, sock_host_from_url(&host, c.url.c_str())) << c.url;
        EXPECT_EQ(c.lookup, g_lookup.substr(0, strlen(c.lookup))) << c.url;
        EXPECT_EQ(c.lookup[0] == '\0', g_lookup.empty()) << c.url;
        if (c.result) {
            EXPECT_EQ(c.port, host.port) << c.url;
            EXPECT_STREQ(c.name, host.name) << c.url;
        }
    }
}

TEST(Socket, DottedDecimalAndTimeouts) {
    struct Case {
        const char* text;
        const char* address;
    } cases[] = {{"10.1.2.3", "10.1.2.3"}, {"1.2.3.300", "1.2.3.44"}, {"1..2.", "1.0.2.0"},
                 {"1.2.3", "-"},           {"1.2.3.4.5", "-"},        {"1.2.3.x", "-"}};
    for (const Case& c : cases) {
        unsigned char address[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(c.address[0] != '-', sock_parse_dotted(c.text, address)) << c.text;
        EXPECT_EQ(c.address[0] == '-' ? "170.170.170.170" : c.address, dotted(address));
    }
    EXPECT_EQ(42, sock_decimal(" \t\r42"));
    EXPECT_EQ(-7, sock_decimal("-7x"));
    EXPECT_EQ(0, sock_decimal("- 1"));
    EXPECT_EQ(2147483647, sock_decimal("99999999999"));
    EXPECT_EQ(-2147483647 - 1, sock_decimal("-99999999999"));
    long seconds = -1, microseconds = -1;
    sock_split_timeout(1500, &seconds, &microseconds);
    EXPECT_EQ(1, seconds);
    EXPECT_EQ(500000, microseconds);
}

TEST(Socket, ErrorTextsAndTheUnknownLogLine) {
    std::string path = open_test_log("sock_errors.log", LOG_FILE);
    EXPECT_STREQ("No Error", sock_error_describe(0));
    EXPECT_STREQ("Connection refused", sock_error_describe(10061));
    EXPECT_STREQ("Host not found", sock_error_describe(11001));
    EXPECT_STREQ("Unknown error code", sock_error_describe(10072));
    EXPECT_STREQ("Unknown error code", sock_error_describe(-1));
    EXPECT_EQ("\nUnknown (10072) (0x00002758)\n\nUnknown (-1) (0xFFFFFFFF)\n", read_file(path));
    log_close();
}

} // namespace
