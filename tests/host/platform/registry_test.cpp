// The value lookup over the in-memory registry: names compared exactly,
// values walked in order, data copied only as far as it goes.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "fakes/registry_fake.h"
#include "support/log_file.h"

namespace {

class RegistryLookup : public testing::Test {
  protected:
    void SetUp() override {
        registry_fake_reset();
        log_path_ = open_test_log("registry_lookup.log", LOG_FILE);
        ASSERT_EQ(1, reg_create_key(&key_, REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool"));
    }
    void TearDown() override {
        reg_close_key(&key_);
        EXPECT_EQ(0, registry_fake_open_keys());
        log_close();
    }
    std::string log() const { return read_file(log_path_); }

    RegKey key_ = nullptr;
    std::string log_path_;
};

TEST_F(RegistryLookup, NamesAreComparedCaseSensitively) {
    reg_set_string(key_, "Install Path", "C:\\Acme\\");
    char text[160] = "untouched";
    EXPECT_EQ(0, reg_get_string(key_, "install path", text, sizeof text));
    EXPECT_STREQ("untouched", text);
    int value = 7;
    EXPECT_EQ(0, reg_get_integer(key_, "INSTALL PATH", &value));
    EXPECT_EQ(7, value);
    EXPECT_EQ("Unable to get 'install path' string\nUnable to get 'INSTALL PATH' integer\n", log());

    EXPECT_EQ(1, reg_get_string(key_, "Install Path", text, sizeof text));
    EXPECT_STREQ("C:\\Acme\\", text);
}

TEST_F(RegistryLookup, TheFirstValueThatDoesNotFitEndsTheWalk) {
    struct Case {
        const char* what;
        std::string name;
        int data_length;
        int ends_walk;
    } cases[] = {
        {"data of 160 bytes", "a", 160, 0},
        {"data of 161 bytes", "a", 161, 1},
        {"name of 159 characters", std::string(159, 'n'), 4, 0},
        {"name of 160 characters", std::string(160, 'n'), 4, 1},
    };
    for (const auto& c : cases) {
        reg_close_key(&key_);
        registry_fake_reset();
        reg_create_key(&key_, REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool");
        std::string data(static_cast<size_t>(c.data_length), 'x');
        registry_fake_set_raw(key_, c.name.c_str(), FAKE_REG_BINARY, data.data(), c.data_length);
        reg_set_string(key_, "Wanted", "found");
        char text[160] = "";
        EXPECT_EQ(!c.ends_walk, reg_get_string(key_, "Wanted", text, sizeof text)) << c.what;
        EXPECT_STREQ(c.ends_walk ? "" : "found", text) << c.what;
    }
}

TEST_F(RegistryLookup, AnyKindReadsAsStringOrInteger) {
    reg_set_string(key_, "Text", "ABCDEF");
    reg_set_integer(key_, "Number", 0x41);
    const unsigned char big[] = {0x12, 0x34, 0x56, 0x78};
    registry_fake_set_raw(key_, "Big", FAKE_REG_DWORD_BIG_ENDIAN, big, sizeof big);
    registry_fake_set_raw(key_, "Short", FAKE_REG_SZ, "a", 2);

    int value = 0;
    EXPECT_EQ(1, reg_get_integer(key_, "Text", &value));
    EXPECT_EQ(0x44434241, value);
    EXPECT_EQ(1, reg_get_integer(key_, "Big", &value));
    EXPECT_EQ(0x78563412, value);
    // Past the value's two bytes nothing of the longer values before it shows.
    EXPECT_EQ(1, reg_get_integer(key_, "Short", &value));
    EXPECT_EQ(0x61, value);

    char text[160] = "";
    EXPECT_EQ(1, reg_get_string(key_, "Number", text, sizeof text));
    EXPECT_STREQ("A", text);
    EXPECT_EQ("", log());
}

TEST_F(RegistryLookup, AStringEndsAtItsDataLengthOrTheBuffersEnd) {
    registry_fake_set_raw(key_, "Long", FAKE_REG_SZ, std::string(150, 'z').c_str(), 150);
    registry_fake_set_raw(key_, "Raw", FAKE_REG_SZ, "abc", 3);
    registry_fake_set_raw(key_, "Full", FAKE_REG_BINARY, std::string(160, 'f').data(), 160);
    char text[200];

    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "Raw", text, sizeof text));
    EXPECT_STREQ("abc", text);

    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "Full", text, sizeof text));
    EXPECT_EQ(std::string(160, 'f'), text);

    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "Long", text, 10));
    EXPECT_STREQ("zzzzzzzzz", text);
    EXPECT_EQ('#', text[10]);
}

TEST_F(RegistryLookup, UnsupportedTypesAreLoggedAndStillFound) {
    registry_fake_set_raw(key_, "Empty", FAKE_REG_NONE, "", 0);
    registry_fake_set_raw(key_, "Expand", FAKE_REG_EXPAND_SZ, "%TEMP%\\x", 9);
    registry_fake_set_raw(key_, "Multi", FAKE_REG_MULTI_SZ, "a\0b\0", 5);
    char text[160] = "";
    EXPECT_EQ(1, reg_get_string(key_, "Expand", text, sizeof text));
    EXPECT_STREQ("%TEMP%\\x", text);
    EXPECT_EQ("Unsupported type 0x00000000 (0)\nUnsupported type 0x00000002 (2)\n", log());
    EXPECT_EQ(1, reg_get_string(key_, "Multi", text, sizeof text));
    EXPECT_STREQ("a", text);
}

TEST(RegistryKinds, EveryRegistryTypeHasItsKind) {
    struct Case {
        unsigned type;
        int kind;
    } cases[] = {
        {FAKE_REG_BINARY, REG_KIND_DATA},   {FAKE_REG_SZ, REG_KIND_STRING},
        {FAKE_REG_DWORD, REG_KIND_INTEGER}, {FAKE_REG_DWORD_BIG_ENDIAN, REG_KIND_BIG_ENDIAN},
        {FAKE_REG_NONE, REG_KIND_DATA},     {FAKE_REG_EXPAND_SZ, REG_KIND_DATA},
        {FAKE_REG_MULTI_SZ, REG_KIND_DATA}, {11, REG_KIND_DATA},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.kind, reg_value_kind(c.type)) << c.type;
    }
}

TEST(RegistryKeys, ExistenceOpensAndClosesAgain) {
    registry_fake_reset();
    RegKey key = nullptr;
    reg_create_key(&key, REG_ROOT_LOCAL_MACHINE, "Software\\Acme");
    reg_close_key(&key);
    EXPECT_EQ(1, reg_key_exists(REG_ROOT_LOCAL_MACHINE, "software\\acme"));
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_CURRENT_USER, "Software\\Acme"));
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_LOCAL_MACHINE, "Software\\Other"));
    EXPECT_EQ(0, registry_fake_open_keys());
}

} // namespace
