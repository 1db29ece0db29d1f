// URL and proxy texts, request heads, host lookup (against the test's resolver), error texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

#include "core/log.h"
#include "net/http.h"
#include "net/socket.h"
#include "net/tls.h"
#include "support/log_file.h"

namespace {
std::string g_lookup; // the last lookup: "name:<text>" or "address:<a.b.c.d>"
} // namespace

// A resolver that knows "server" and any name of 119 characters, and the
// address 10.9.8.7; like the system's, it rewrites the whole record.
int sock_host_by_name(HostRecord* host, const char* name) {
    g_lookup = std::string("name:") + name;
    memset(host, 0, sizeof *host);
    strcpy(host->name, "server.example");
    return !strcmp(name, "server") || strlen(name) == 119;
}

int sock_host_by_address(HostRecord* host, const unsigned char a[4]) {
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    g_lookup = std::string("address:") + text;
    memset(host, 0, sizeof *host);
    strcpy(host->name, "named.example");
    return !strcmp(text, "10.9.8.7");
}

namespace {

std::string head(const std::string& target, const char* agent, int body, int capacity = 2048) {
    std::string buffer(static_cast<size_t>(capacity), '#');
    int length = -1;
    if (!http_compose_head(&buffer[0], capacity, body ? "POST" : "GET", target.c_str(), agent,
                           "server", body, &length)) {
        return "<does not fit>";
    }
    EXPECT_EQ(strlen(buffer.c_str()), static_cast<size_t>(length));
    return buffer.c_str();
}

TEST(Http, UrlPartsProxyTextAndRequestHeads) {
    // clang-format off
    std::tuple<const char*, const char*> urls[] = {
        {"http://server:8080/d/f?x=1", "http://server/ /d/f?x=1 server"}, {"", "  "},
        {"http://server", "http://server  server"}, {"server/file", "server/ /file server"},
        {"http://1.2.3.4:5/u?a=b:c/d", "http://1.2.3.4/ /u?a=b:c/d 1.2.3.4"},
        {"http://user:pw@server:81/x", "http://user:pw@server/ /x server"},
        {"http://server:81:82/x", "http://server:81/ /x server:81"}}; // the last ':'; sockets take the first
    // clang-format on
    for (auto [url, expected] : urls) {
        HttpUrl parts;
        ASSERT_EQ(1, http_split_url(url, &parts)) << url;
        EXPECT_EQ(expected, std::string(parts.site) + " " + parts.path + " " + parts.host);
    }
    std::string longest = "http://server/" + std::string(305, 'p'); // 319 characters
    HttpUrl parts;
    EXPECT_EQ(1, http_split_url(longest.c_str(), &parts));
    EXPECT_EQ(0, http_split_url((longest + "p").c_str(), &parts));

    // clang-format off
    std::tuple<int, const char*, int, const char*, const char*> proxies[] = {
        {1, "ftp=a:21;HTTP=b:8080;https=c:443", 320, "b:8080", "c:443"},
        {1, "https=c:443;http=b:8080", 320, "b:8080", "c:443"},
        {1, "ftp=a:21", 320, "ftp=a:21", "ftp=a:21"}, {1, "proxyhost:81", 6, "proxy", "proxy"},
        {1, "", 320, "", ""}, {0, "b:80", 320, "", ""}, {2, "b:80", 320, "", ""}};
    // clang-format on
    for (auto [enable, server, size, expected, secure] : proxies) {
        char proxy[320] = "stale";
        EXPECT_EQ(expected[0] != '\0', http_proxy_text(enable, server, proxy, size)) << server;
        EXPECT_STREQ(expected, proxy) << server;
        EXPECT_EQ(secure[0] != '\0', http_proxy_entry(enable, server, "https=", proxy, size));
        EXPECT_STREQ(secure, proxy) << server;
    }
    // Request heads only where they fit; the registration and update scenarios
    // check whole heads as the server reads them.
    std::string post = "POST /reg HTTP/1.0\r\nHost: server\r\nContent-Length: 1234\r\n"
                       "Connection: closed\r\n\r\n";
    EXPECT_EQ(post, head("/reg", nullptr, 1234, static_cast<int>(post.size()) + 1));
    EXPECT_EQ("<does not fit>", head("/reg", nullptr, 1234, static_cast<int>(post.size())));
    EXPECT_EQ("<does not fit>", head("/reg", nullptr, 0, 0));
    std::string target = "http://server/" + std::string(305, 't'), agent(319, 'a');
    EXPECT_EQ("GET " + target + " HTTP/1.0\r\nUser-Agent: " + agent +
                  "\r\nHost: server\r\nConnection: closed\r\n\r\n",
              head(target, agent.c_str(), 0));
}

TEST(Tls, WhichUrlsTakeTheTlsRoadTheirPortAndTheFailureTexts) {
    // clang-format off
    std::tuple<const char*, int, int> urls[] = {
        {"https://localhost/r", 1, 443}, {"HTTPS://h:8443/r", 1, 8443}, {"https://u:p@h/x", 1, 443},
        {"http://h/r", 0, 0}, {"https:/h/r", 0, 0}, {"h/https://x", 0, 0}, {"", 0, 0}};
    // clang-format on
    for (auto [url, secure, port] : urls) {
        EXPECT_EQ(secure, tls_url(url)) << url;
        // Only the TLS road asks for the port.
        if (secure) {
            EXPECT_EQ(port, tls_url_port(url)) << url;
        }
    }
    EXPECT_EQ(0, tls_url_port(("https://" + std::string(120, 'h') + "/").c_str()));
    // clang-format off
    std::tuple<unsigned, const char*> failures[] = {
        {12045, "untrusted certificate authority"}, {12038, "certificate for another host name"},
        {12037, "certificate expired or not yet valid"}, {12157, "TLS handshake failed"},
        {12175, "certificate refused"}, {12029, "unable to connect"}, {12002, "timed out"},
        {0, "failed"}, {12044, "failed"}};
    // clang-format on
    for (auto [error, text] : failures) {
        EXPECT_STREQ(text, tls_failure_text(error)) << error;
    }
    // A refused certificate's flags name the fault; the first named bit wins.
    // clang-format off
    std::tuple<unsigned, unsigned> flags[] = {
        {0x08, 12045}, {0x10, 12038}, {0x20, 12037}, {0x02, 12169}, {0x04, 12170}, {0x01, 12057},
        {0x80000000u, 12157}, {0x38, 12045}, {0x30, 12038}, {0x40, 12175}, {0, 12175}};
    // clang-format on
    for (auto [bits, error] : flags) {
        EXPECT_EQ(error, tls_secure_failure(bits, 12175)) << bits;
    }
}

// "<port> <name>" of the host the URL names, or "fails <last lookup>".
std::string host_of(const std::string& url) {
    HostRecord host;
    g_lookup = "(none)";
    if (!sock_host_from_url(&host, url.c_str())) {
        return "fails " + g_lookup;
    }
    return std::to_string(host.port) + " " + host.name;
}

TEST(Socket, HostAndPortFromTheUrlAndErrorTexts) {
    // clang-format off
    std::tuple<const char*, const char*> cases[] = {
        {"http://server/x", "80 server.example"}, {"FTP://server/x", "21 server.example"},
        {"telnet://server", "23 server.example"}, {"shout://server/", "8000 server.example"},
        {"gopher://server/x", "0 server.example"}, {"server:8080x/x", "8080 server.example"},
        {"http://server:\r81/", "81 server.example"}, {"http://server:/x", "0 server.example"},
        {"http://a@b@server:81/x@y", "81 server.example"}, {"http://10.1.2.3/x", "80 Unknown"},
        {"server/a?u=http://server:99/", "99 server.example"}, {"10.9.8.263:3128", "3128 named.example"},
        {"http://nowhere/x", "fails name:nowhere"}, {"http://1.2.3.4.5/", "fails name:1.2.3.4.5"},
        {"http://server:81:82/x", "81 server.example"}};
    // clang-format on
    for (auto [url, expected] : cases) {
        EXPECT_EQ(expected, host_of(url)) << url;
    }
    EXPECT_EQ("0 server.example", host_of(std::string(39, 's') + "://server/"));
    EXPECT_EQ("80 server.example", host_of("http://" + std::string(119, 'h') + "/x"));
    EXPECT_EQ("fails (none)", host_of("http://" + std::string(120, 'h')));
    // Error texts; unknown codes are logged.
    std::string path = open_test_log("sock_errors.log", LOG_FILE);
    EXPECT_STREQ("No Error", sock_error_describe(0));
    EXPECT_STREQ("Connection refused", sock_error_describe(10061));
    EXPECT_STREQ("Unknown error code", sock_error_describe(10072));
    EXPECT_STREQ("Unknown error code", sock_error_describe(-1)); // both logged
    EXPECT_EQ("\nUnknown (10072) (0x00002758)\n\nUnknown (-1) (0xFFFFFFFF)\n", read_file(path));
    log_close();
}

} // namespace
