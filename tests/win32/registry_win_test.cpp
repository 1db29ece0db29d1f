// The registry operations against the real registry of the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "platform/registry.h"
#include "support/log_file.h"

namespace {

const char g_path[] = "Software\\UninstallTests\\Registry";

class RegistryWin : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, g_path);
        log_path_ = open_test_log("registry_win.log", LOG_FILE);
        ASSERT_EQ(1, reg_create_key(&key_, REG_ROOT_CURRENT_USER, g_path));
        ASSERT_NE(nullptr, key_);
    }
    void TearDown() override {
        if (key_) {
            reg_close_key(&key_);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, g_path);
        log_close();
    }
    void set_raw(const char* name, DWORD type, const void* data, DWORD length) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), length));
    }
    // The value's position in the registry's own order.
    int index_of(const char* wanted) {
        for (DWORD index = 0;; ++index) {
            char name[400];
            DWORD size = sizeof name;
            if (RegEnumValueA(key_, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                return -1;
            }
            if (std::string(name) == wanted) {
                return static_cast<int>(index);
            }
        }
    }
    std::string log() const { return read_file(log_path_); }

    RegKey key_ = nullptr;
    std::string log_path_;
};

TEST_F(RegistryWin, KeysAreCreatedOpenedTestedAndDeleted) {
    reg_close_key(&key_);
    EXPECT_EQ(nullptr, key_);

    RegKey key = reinterpret_cast<RegKey>(1);
    EXPECT_EQ(1, reg_open_key(&key, REG_ROOT_CURRENT_USER, g_path));
    EXPECT_NE(nullptr, key);
    EXPECT_EQ(1, reg_close_key(&key));
    EXPECT_EQ(nullptr, key);

    EXPECT_EQ(1, reg_delete_key(REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_CURRENT_USER, g_path));
    key = reinterpret_cast<RegKey>(1);
    EXPECT_EQ(0, reg_open_key(&key, REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ(nullptr, key);

    EXPECT_EQ(0, reg_delete_key(REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ("Unable to delete key '" + std::string(g_path) + "'(0x00000002)\n", log());
}

TEST_F(RegistryWin, AKeyWithSubkeysIsNotDeleted) {
    RegKey child = nullptr;
    std::string below = std::string(g_path) + "\\Child";
    ASSERT_EQ(1, reg_create_key(&child, REG_ROOT_CURRENT_USER, below.c_str()));
    reg_close_key(&child);
    EXPECT_EQ(0, reg_delete_key(REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ(1, reg_key_exists(REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ(0u, log().rfind("Unable to delete key '" + std::string(g_path) + "'(0x", 0)) << log();
    EXPECT_EQ(1, reg_delete_key(REG_ROOT_CURRENT_USER, below.c_str()));
}

TEST_F(RegistryWin, SelectorsOutsideTheTableMeanTheCurrentUser) {
    for (int root : {0, 1, 7, 99, -1}) {
        EXPECT_EQ(1, reg_key_exists(root, g_path)) << root;
        EXPECT_EQ(HKEY_CURRENT_USER, reg_root_key(root)) << root;
    }
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_path));
    const struct {
        int root;
        HKEY key;
    } table[] = {
        {2, HKEY_DYN_DATA},     {3, HKEY_PERFORMANCE_DATA}, {4, HKEY_LOCAL_MACHINE},
        {5, HKEY_CLASSES_ROOT}, {6, HKEY_CURRENT_CONFIG},
    };
    for (const auto& entry : table) {
        EXPECT_EQ(entry.key, reg_root_key(entry.root)) << entry.root;
    }
    EXPECT_EQ(1, reg_key_exists(REG_ROOT_LOCAL_MACHINE, "Software\\Microsoft\\Windows"));
}

TEST_F(RegistryWin, StringsAndIntegersGoRoundTrip) {
    EXPECT_EQ(1, reg_set_string(key_, "Install Path", "C:\\Program Files\\Acme\\"));
    EXPECT_EQ(1, reg_set_integer(key_, "Count", -2));
    char text[160] = "";
    EXPECT_EQ(1, reg_get_string(key_, "Install Path", text, sizeof text));
    EXPECT_STREQ("C:\\Program Files\\Acme\\", text);
    int value = 0;
    EXPECT_EQ(1, reg_get_integer(key_, "Count", &value));
    EXPECT_EQ(-2, value);

    DWORD type = 0;
    DWORD length = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Install Path", nullptr, &type,
                                              reinterpret_cast<BYTE*>(text), &length));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(23u, length); // the terminator is stored too
    EXPECT_EQ("", log());
}

TEST_F(RegistryWin, NamesAreComparedCaseSensitively) {
    reg_set_string(key_, "Install Path", "C:\\Acme\\");
    char text[160] = "untouched";
    EXPECT_EQ(0, reg_get_string(key_, "install path", text, sizeof text));
    EXPECT_STREQ("untouched", text);
    int value = 5;
    EXPECT_EQ(0, reg_get_integer(key_, "INSTALL PATH", &value));
    EXPECT_EQ(5, value);
    EXPECT_EQ("Unable to get 'install path' string\nUnable to get 'INSTALL PATH' integer\n", log());
}

TEST_F(RegistryWin, DataOver160BytesEndsTheLookup) {
    std::string data(161, 'x');
    set_raw("a_long", REG_BINARY, data.data(), 161);
    reg_set_string(key_, "b_wanted", "found");
    ASSERT_LT(index_of("a_long"), index_of("b_wanted"));
    char text[160] = "";
    EXPECT_EQ(0, reg_get_string(key_, "b_wanted", text, sizeof text));
    EXPECT_EQ("Unable to get 'b_wanted' string\n", log());

    set_raw("a_long", REG_BINARY, data.data(), 160);
    EXPECT_EQ(1, reg_get_string(key_, "b_wanted", text, sizeof text));
    EXPECT_STREQ("found", text);
}

TEST_F(RegistryWin, ANameOver159CharactersEndsTheLookup) {
    std::string name(160, 'a');
    reg_set_integer(key_, name.c_str(), 1);
    reg_set_integer(key_, "b_wanted", 9);
    ASSERT_LT(index_of(name.c_str()), index_of("b_wanted"));
    int value = 0;
    EXPECT_EQ(0, reg_get_integer(key_, "b_wanted", &value));

    RegDeleteValueA(key_, name.c_str());
    reg_set_integer(key_, name.substr(1).c_str(), 1);
    EXPECT_EQ(1, reg_get_integer(key_, "b_wanted", &value));
    EXPECT_EQ(9, value);
}

TEST_F(RegistryWin, StringsReadAsIntegersAndIntegersAsStrings) {
    reg_set_string(key_, "Text", "ABCD");
    reg_set_integer(key_, "Number", 0x4241);
    int value = 0;
    EXPECT_EQ(1, reg_get_integer(key_, "Text", &value));
    EXPECT_EQ(0x44434241, value);
    char text[160] = "";
    EXPECT_EQ(1, reg_get_string(key_, "Number", text, sizeof text));
    EXPECT_STREQ("AB", text);
}

TEST_F(RegistryWin, AnExpandableStringIsLoggedAndFoundUnexpanded) {
    set_raw("Path", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    char text[160] = "";
    EXPECT_EQ(1, reg_get_string(key_, "Path", text, sizeof text));
    EXPECT_STREQ("%TEMP%\\x", text);
    EXPECT_EQ("Unsupported type 0x00000002 (2)\n", log());
}

TEST_F(RegistryWin, AStringWithoutTerminatorEndsAtItsLength) {
    std::string filler(150, 'z');
    set_raw("a_filler", REG_SZ, filler.c_str(), 151);
    set_raw("b_raw", REG_SZ, "abc", 3);
    ASSERT_LT(index_of("a_filler"), index_of("b_raw"));
    char text[200];
    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "b_raw", text, sizeof text));
    EXPECT_STREQ("abc", text);

    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "a_filler", text, 8));
    EXPECT_STREQ("zzzzzzz", text);
    EXPECT_EQ('#', text[8]);
}

TEST_F(RegistryWin, EnumerationReportsNameDataAndKind) {
    const unsigned char bytes[] = {1, 2, 3};
    const unsigned char big[] = {0, 0, 1, 0};
    set_raw("a_binary", REG_BINARY, bytes, sizeof bytes);
    set_raw("b_string", REG_SZ, "hi", 3);
    reg_set_integer(key_, "c_integer", 7);
    set_raw("d_big", REG_DWORD_BIG_ENDIAN, big, sizeof big);
    set_raw("e_multi", REG_MULTI_SZ, "a\0b\0", 5);
    const struct {
        const char* name;
        int length;
        int kind;
    } expected[] = {
        {"a_binary", 3, REG_KIND_DATA},     {"b_string", 3, REG_KIND_STRING},
        {"c_integer", 4, REG_KIND_INTEGER}, {"d_big", 4, REG_KIND_BIG_ENDIAN},
        {"e_multi", 5, REG_KIND_DATA},
    };
    for (const auto& value : expected) {
        int index = index_of(value.name);
        ASSERT_GE(index, 0) << value.name;
        char name[REG_NAME_SIZE];
        unsigned char data[REG_DATA_SIZE];
        int length = 0;
        int kind = 0;
        EXPECT_EQ(
            1, reg_enum_value(key_, index, name, sizeof name, data, sizeof data, &length, &kind));
        EXPECT_STREQ(value.name, name);
        EXPECT_EQ(value.length, length) << value.name;
        EXPECT_EQ(value.kind, kind) << value.name;
    }
    EXPECT_EQ("Unsupported type 0x00000007 (7)\n", log());

    char name[REG_NAME_SIZE];
    unsigned char data[2];
    int length = 0;
    int kind = 0;
    EXPECT_EQ(0, reg_enum_value(key_, index_of("a_binary"), name, sizeof name, data, sizeof data,
                                &length, &kind));
    EXPECT_EQ(2, length);
    EXPECT_EQ(0, reg_enum_value(key_, 5, name, sizeof name, data, sizeof data, &length, &kind));
}

TEST_F(RegistryWin, FailedWritesAndReadsAreLogged) {
    RegKey closed = nullptr;
    EXPECT_EQ(0, reg_set_string(closed, "Name", "x"));
    EXPECT_EQ(0, reg_set_integer(closed, "Count", 1));
    int value = 0;
    EXPECT_EQ(0, reg_get_integer(closed, "Count", &value));
    EXPECT_EQ("Unable to set 'Name' string\nUnable to set 'Count' integer\n"
              "Unable to get 'Count' integer\n",
              log());
}

} // namespace
