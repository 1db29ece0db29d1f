// The value lookup: names compared exactly, values walked in order, data copied
// only as far as it goes. The real registry's order and limits are the Win32 tests'.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "fakes/registry_fake.h"
#include "support/log_file.h"

namespace {

TEST(Registry, LookupKindsAndCuts) {
    registry_fake_reset();
    std::string log = open_test_log("registry.log", LOG_FILE);
    RegKey key = nullptr;
    ASSERT_EQ(1, reg_create_key(&key, REG_ROOT_LOCAL_MACHINE, "Software\\Acme"));
    reg_set_string(key, "Text", "ABCDEF");
    registry_fake_set_raw(key, "Big", FAKE_REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78", 4);
    registry_fake_set_raw(key, "Short", FAKE_REG_SZ, "a", 2);
    registry_fake_set_raw(key, "Long", FAKE_REG_SZ, std::string(150, 'z').c_str(), 150);
    registry_fake_set_raw(key, "Expand", FAKE_REG_EXPAND_SZ, "%TEMP%\\x", 9);
    int value = 7;
    char text[160] = "untouched";
    EXPECT_EQ(0, reg_get_string(key, "text", text, sizeof text));
    EXPECT_STREQ("untouched", text);
    EXPECT_EQ(0, reg_get_integer(key, "TEXT", &value));
    EXPECT_EQ(7, value);
    EXPECT_EQ(1, reg_get_integer(key, "Text", &value));
    EXPECT_EQ(0x44434241, value);
    EXPECT_EQ(1, reg_get_integer(key, "Big", &value));
    EXPECT_EQ(0x78563412, value);
    // Past the value's two bytes nothing of the longer values before it shows.
    EXPECT_EQ(1, reg_get_integer(key, "Short", &value));
    EXPECT_EQ(0x61, value);
    std::string cut(12, '#');
    EXPECT_EQ(1, reg_get_string(key, "Long", &cut[0], 10));
    EXPECT_EQ(std::string(9, 'z') + std::string("\0##", 3), cut);
    // Every walk past the expandable string logs its type again.
    EXPECT_EQ("Unsupported type 0x00000002 (2)\nUnable to get 'text' string\n"
              "Unsupported type 0x00000002 (2)\nUnable to get 'TEXT' integer\n",
              read_file(log));
    reg_close_key(&key);
    EXPECT_EQ(1, reg_key_exists(REG_ROOT_LOCAL_MACHINE, "Software\\Acme"));
    EXPECT_EQ(0, registry_fake_open_keys());
    log_close();
}

} // namespace
