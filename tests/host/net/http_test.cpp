#include "net/http.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HttpSplitUrl, PathSiteAndHost) {
    struct Case {
        const char* url;
        const char* site;
        const char* path;
        const char* host;
    } cases[] = {
        {"http://server:8080/dir/file?x=1", "http://server/", "/dir/file?x=1", "server"},
        {"http://server/dir/", "http://server/", "/dir/", "server"},
        {"http://server", "http://server", "", "server"},
        {"http://server:8080", "http://server/", "", "server"},
        {"server/file", "server/", "/file", "server"},
        {"server", "server", "", "server"},
        {"http://127.0.0.1:5000/u?a=b:c/d", "http://127.0.0.1/", "/u?a=b:c/d", "127.0.0.1"},
        {"http://user:pw@server:81/x", "http://user:pw@server/", "/x", "server"},
        {"http://user:pw@server/x", "http://user:pw@server/", "/x", "server"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        HttpUrl parts;
        ASSERT_EQ(1, http_split_url(c.url, &parts)) << c.url;
        EXPECT_STREQ(c.site, parts.site) << c.url;
        EXPECT_STREQ(c.path, parts.path) << c.url;
        EXPECT_STREQ(c.host, parts.host) << c.url;
    }
}

TEST(HttpSplitUrl, AUrlOf320CharactersIsRefused) {
    std::string url = "http://server/" + std::string(305, 'p');
    ASSERT_EQ(319u, url.size());
    HttpUrl parts;
    ASSERT_EQ(1, http_split_url(url.c_str(), &parts));
    EXPECT_EQ(url.substr(13), parts.path);
    EXPECT_EQ(0, http_split_url((url + "p").c_str(), &parts));
}

TEST(HttpProxyText, OnlyAnEnabledNonEmptySettingNamesAProxy) {
    struct Case {
        int enable;
        const char* server;
        int result;
        const char* proxy;
    } cases[] = {
        {1, "ftp=a:21;http=b:8080;https=c:443", 1, "b:8080"},
        {1, "b:8080", 1, "b:8080"},
        {1, "ftp=a:21", 1, "ftp=a:21"},
        {1, "HTTP=b:81;ftp=a:21", 1, "b:81"},
        {1, "https=c:443;http=b:8080", 1, "b:8080"},
        {1, "b:8080;", 1, "b:8080"},
        {1, "http://proxy:3128", 1, "http://proxy:3128"},
        {1, "", 0, ""},
        {0, "b:8080", 0, ""},
        {2, "b:8080", 0, ""},
        {-1, "b:8080", 0, ""},
    };
    for (const Case& c : cases) {
        char proxy[HTTP_URL_SIZE] = "stale";
        EXPECT_EQ(c.result, http_proxy_text(c.enable, c.server, proxy, sizeof proxy)) << c.server;
        EXPECT_STREQ(c.proxy, proxy) << c.server;
    }
}

TEST(HttpProxyText, IsCutToTheCallersBuffer) {
    char proxy[6];
    EXPECT_EQ(1, http_proxy_text(1, "proxyhost:81", proxy, sizeof proxy));
    EXPECT_STREQ("proxy", proxy);
}

std::string head_of(const char* method, const char* target, const char* agent, const char* host,
                    int body_length, int capacity = 2048) {
    std::string buffer(static_cast<size_t>(capacity), '#');
    int length = -1;
    if (!http_compose_head(&buffer[0], capacity, method, target, agent, host, body_length,
                           &length)) {
        return "<does not fit>";
    }
    EXPECT_EQ(std::string(buffer.c_str()).size(), static_cast<size_t>(length));
    return buffer.c_str();
}

TEST(HttpComposeHead, LinesInOrderAndOnlyWhenDue) {
    EXPECT_EQ("GET /dir/file?x=1 HTTP/1.0\r\n"
              "User-Agent: Pelmora Update Check Uninstall (www.example)\r\n"
              "Host: server\r\n"
              "Connection: closed\r\n\r\n",
              head_of("GET", "/dir/file?x=1", "Pelmora Update Check Uninstall (www.example)",
                      "server", 0));
    EXPECT_EQ("GET http://server:8080/dir/file?x=1 HTTP/1.0\r\n"
              "Host: server\r\n"
              "Connection: closed\r\n\r\n",
              head_of("GET", "http://server:8080/dir/file?x=1", nullptr, "server", -3));
    EXPECT_EQ("POST /reg HTTP/1.0\r\n"
              "User-Agent: a\r\n"
              "Host: h\r\n"
              "Content-Length: 1234\r\n"
              "Connection: closed\r\n\r\n",
              head_of("POST", "/reg", "a", "h", 1234));
    EXPECT_EQ("GET / HTTP/1.0\r\nHost: h\r\nContent-Length: 1\r\nConnection: closed\r\n\r\n",
              head_of("GET", "/", nullptr, "h", 1));
}

TEST(HttpComposeHead, AHeadThatDoesNotFitIsRefused) {
    std::string head = head_of("GET", "/", nullptr, "h", 0);
    int exact = static_cast<int>(head.size()) + 1;
    EXPECT_EQ(head, head_of("GET", "/", nullptr, "h", 0, exact));
    EXPECT_EQ("<does not fit>", head_of("GET", "/", nullptr, "h", 0, exact - 1));
    EXPECT_EQ("<does not fit>", head_of("GET", "/", nullptr, "h", 0, 10));
}

TEST(HttpComposeHead, LongestTargetAndAgentStillFit) {
    std::string target = "http://server/" + std::string(305, 't');
    std::string agent(319, 'a');
    std::string head = head_of("POST", target.c_str(), agent.c_str(), "server", 7);
    EXPECT_EQ("POST " + target + " HTTP/1.0\r\nUser-Agent: " + agent +
                  "\r\nHost: server\r\nContent-Length: 7\r\nConnection: closed\r\n\r\n",
              head);
}

} // namespace
