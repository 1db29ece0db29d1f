#include "net/socket.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "support/log_file.h"

namespace {

class SockErrorText : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
};

TEST_F(SockErrorText, KnownCodesHaveTheirTextsAndLogNothing) {
    std::string path = open_test_log("sock_errors_known.log", LOG_FILE);
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {0, "No Error"},
        {10004, "Interrupted function call"},
        {10035, "Resource temporarily unavailable"},
        {10047, "Address family not supported by protocol family"},
        {10054, "Connection reset by peer"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10071, "Remote"},
        {10091, "Network subsystem is unavailable"},
        {10092, "WINSOCK.DLL version out of range"},
        {10101, "Graceful shutdown in progress"},
        {11001, "Host not found"},
        {11004, "Valid name, no data record of requested type"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.text, sock_error_describe(c.code)) << c.code;
    }
    EXPECT_EQ("", read_file(path));
}

TEST_F(SockErrorText, UnknownCodesAreLoggedInDecimalAndHexadecimal) {
    std::string path = open_test_log("sock_errors_unknown.log", LOG_FILE);
    EXPECT_STREQ("Unknown error code", sock_error_describe(12345));
    EXPECT_STREQ("Unknown error code", sock_error_describe(10072));
    EXPECT_STREQ("Unknown error code", sock_error_describe(-1));
    EXPECT_EQ("\nUnknown (12345) (0x00003039)\n"
              "\nUnknown (10072) (0x00002758)\n"
              "\nUnknown (-1) (0xFFFFFFFF)\n",
              read_file(path));
}

} // namespace
