#include "net/socket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fakes/socket_fake.h"

namespace {

const unsigned char g_server[4] = {192, 0, 2, 7};

class HostFromUrl : public testing::Test {
  protected:
    void SetUp() override {
        socket_fake_reset();
        socket_fake_add_name("server", "server.example", g_server);
    }
    HostRecord host_{};
};

TEST_F(HostFromUrl, PortComesFromThePortTextOrTheScheme) {
    struct Case {
        const char* url;
        int port;
    } cases[] = {
        {"http://server/x", 80},
        {"HTTP://server/x", 80},
        {"https://server/x", 80},
        {"ftp://server/x", 21},
        {"telnet://server", 23},
        {"shout://server/", 8000},
        {"gopher://server/x", 0},
        {"server:8080/x", 8080},
        {"server/x", 0},
        {"http://server:/x", 0},
        {"http://server:8080x/y", 8080},
        {"http://server: 81/", 81},
        {"http://server:-5/", -5},
        {"server", 0},
    };
    for (const Case& c : cases) {
        memset(&host_, 0x55, sizeof host_);
        ASSERT_EQ(1, sock_host_from_url(&host_, c.url)) << c.url;
        EXPECT_EQ(c.port, host_.port) << c.url;
        EXPECT_STREQ("server.example", host_.name) << c.url;
        EXPECT_EQ(0, memcmp(g_server, host_.address, 4)) << c.url;
        EXPECT_EQ("name:server", socket_fake_lookups().back()) << c.url;
    }
}

TEST_F(HostFromUrl, OnlyTheHostAfterTheLastAtSignIsResolved) {
    ASSERT_EQ(1, sock_host_from_url(&host_, "http://user:pw@server:81/x"));
    EXPECT_EQ("name:server", socket_fake_lookups().back());
    EXPECT_EQ(81, host_.port);
    ASSERT_EQ(1, sock_host_from_url(&host_, "http://a@b@server/x@y"));
    EXPECT_EQ("name:server", socket_fake_lookups().back());
    EXPECT_EQ(80, host_.port);
}

TEST_F(HostFromUrl, AnAuthorityOf120CharactersIsRefusedUnresolved) {
    std::string name(119, 'h');
    socket_fake_add_name(name.c_str(), "long", g_server);
    EXPECT_EQ(1, sock_host_from_url(&host_, ("http://" + name + "/x").c_str()));
    EXPECT_EQ(1, sock_host_from_url(&host_, ("http://" + name).c_str()));
    size_t lookups = socket_fake_lookups().size();
    EXPECT_EQ(0, sock_host_from_url(&host_, ("http://" + name + "h/x").c_str()));
    EXPECT_EQ(0, sock_host_from_url(&host_, ("http://" + name + "h").c_str()));
    EXPECT_EQ(lookups, socket_fake_lookups().size());
}

TEST_F(HostFromUrl, AHostThatDoesNotResolveFails) {
    EXPECT_EQ(0, sock_host_from_url(&host_, "http://nowhere/x"));
    EXPECT_EQ("name:nowhere", socket_fake_lookups().back());
    EXPECT_EQ(0, sock_host_from_url(&host_, "ftp=a:21"));
    EXPECT_EQ("name:ftp=a", socket_fake_lookups().back());
}

TEST_F(HostFromUrl, DottedAddressesAreLookedUpInReverse) {
    const unsigned char named[4] = {10, 9, 8, 7};
    socket_fake_add_reverse(named, "named.example");

    ASSERT_EQ(1, sock_host_from_url(&host_, "http://10.1.2.3/x"));
    EXPECT_EQ("address:10.1.2.3", socket_fake_lookups().back());
    EXPECT_STREQ("Unknown", host_.name);
    const unsigned char unnamed[4] = {10, 1, 2, 3};
    EXPECT_EQ(0, memcmp(unnamed, host_.address, 4));
    EXPECT_EQ(80, host_.port);

    ASSERT_EQ(1, sock_host_from_url(&host_, "10.9.8.7:3128"));
    EXPECT_STREQ("named.example", host_.name);
    EXPECT_EQ(3128, host_.port);

    EXPECT_EQ(0, sock_host_from_url(&host_, "http://1.2.3/x"));
    EXPECT_EQ("name:1.2.3", socket_fake_lookups().back());
    EXPECT_EQ(0, sock_host_from_url(&host_, "http://1.2.3.4.5/x"));
    EXPECT_EQ("name:1.2.3.4.5", socket_fake_lookups().back());
}

TEST_F(HostFromUrl, ASchemeOf40CharactersGivesNoDefaultPort) {
    std::string scheme39(39, 's');
    std::string scheme40(40, 's');
    ASSERT_EQ(1, sock_host_from_url(&host_, (scheme39 + "://server/x").c_str()));
    EXPECT_EQ(0, host_.port);
    ASSERT_EQ(1, sock_host_from_url(&host_, (scheme40 + "://server/x").c_str()));
    EXPECT_EQ(0, host_.port);
    // "://" is found anywhere: in a query it makes everything before it the scheme.
    ASSERT_EQ(1, sock_host_from_url(&host_, "server/a?u=http://server:99/"));
    EXPECT_EQ(99, host_.port);
}

TEST(SockParseDotted, ReadsFourPartsKeepingTheLowEightBits) {
    struct Case {
        const char* text;
        int result;
        unsigned char address[4];
    } cases[] = {
        {"10.1.2.3", 1, {10, 1, 2, 3}},
        {"1.2.3.300", 1, {1, 2, 3, 44}},
        {"1..2.3", 1, {1, 0, 2, 3}},
        {"1.2.3.", 1, {1, 2, 3, 0}},
        {"...", 1, {0, 0, 0, 0}},
        {"255.255.255.255", 1, {255, 255, 255, 255}},
        {"1.2.3", 0, {}},
        {"1.2.3.4.5", 0, {}},
        {"1.2.3.x", 0, {}},
        {" 1.2.3.4", 0, {}},
        {"", 0, {}},
        {"-1.2.3.4", 0, {}},
    };
    for (const Case& c : cases) {
        unsigned char address[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        EXPECT_EQ(c.result, sock_parse_dotted(c.text, address)) << c.text;
        if (c.result) {
            EXPECT_EQ(0, memcmp(c.address, address, 4)) << c.text;
        } else {
            const unsigned char untouched[4] = {0xAA, 0xAA, 0xAA, 0xAA};
            EXPECT_EQ(0, memcmp(untouched, address, 4)) << c.text;
        }
    }
}

TEST(SockDecimal, ReadsLikeTheStandardConversion) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"8080", 8080},
        {" \t42", 42},
        {"-7", -7},
        {"+3", 3},
        {"8080x", 8080},
        {"", 0},
        {"x1", 0},
        {"- 1", 0},
        {"2147483647", 2147483647},
        {"99999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, sock_decimal(c.text)) << c.text;
    }
}

TEST(SockSplitTimeout, WholeSecondsAndMicroseconds) {
    struct Case {
        int ms;
        long seconds;
        long microseconds;
    } cases[] = {{300000, 300, 0}, {1500, 1, 500000}, {999, 0, 999000}, {0, 0, 0}};
    for (const Case& c : cases) {
        long seconds = -1;
        long microseconds = -1;
        sock_split_timeout(c.ms, &seconds, &microseconds);
        EXPECT_EQ(c.seconds, seconds) << c.ms;
        EXPECT_EQ(c.microseconds, microseconds) << c.ms;
    }
}

} // namespace
