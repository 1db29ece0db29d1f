// What only the real prefix shows: the registry's own order and limits, deletions
// tried again, the loader, the window helpers. The log file's CR LF line ends are
// checked byte for byte by the scenarios.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/window.h"
#include "registration/dialogs.h"
#include "support/log_file.h"

namespace {

const char g_path[] = "Software\\UninstallTests\\Registry";

class RegistryWin : public testing::Test {
  protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, g_path); // a key left by a case that failed
        log_path_ = open_test_log("registry_win.log", LOG_FILE);
        ASSERT_EQ(1, reg_create_key(&key_, REG_ROOT_CURRENT_USER, g_path));
    }
    void TearDown() override {
        reg_close_key(&key_);
        log_close();
    }
    void set_raw(const char* name, DWORD type, const void* data, DWORD length) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), length));
    }
    std::string log() const { return read_file(log_path_); }
    RegKey key_ = nullptr;
    std::string log_path_;
};

TEST_F(RegistryWin, AKeyWithSubkeysIsNotDeletedAndAMissingKeyOrValueIsLogged) {
    RegKey child = nullptr;
    std::string below = std::string(g_path) + "\\Child";
    ASSERT_EQ(1, reg_create_key(&child, REG_ROOT_CURRENT_USER, below.c_str()));
    reg_close_key(&child);
    reg_set_string(key_, "One", "1");
    reg_set_integer(key_, "Two", 2);
    int subkeys = -1;
    int values = -1;
    EXPECT_EQ(1, reg_key_contents(key_, &subkeys, &values));
    EXPECT_EQ(1, subkeys);
    EXPECT_EQ(2, values);
    EXPECT_EQ(1, reg_delete_value(key_, "one"));
    EXPECT_EQ(0, reg_delete_value(key_, "One"));
    EXPECT_EQ(0, reg_delete_key(REG_ROOT_CURRENT_USER, g_path));
    EXPECT_EQ(1, reg_delete_key(REG_ROOT_CURRENT_USER, below.c_str()));
    EXPECT_EQ(0, reg_delete_key(REG_ROOT_CURRENT_USER, below.c_str()));
    EXPECT_EQ(1, reg_key_contents(key_, &subkeys, &values));
    EXPECT_EQ(0, subkeys);
    EXPECT_EQ(1, values);
    EXPECT_EQ(0u, log().rfind("Unable to delete value 'One'(0x00000002)\nUnable to delete key '" +
                                  std::string(g_path) + "'(0x",
                              0));
    EXPECT_NE(std::string::npos, log().find("Unable to delete key '" + below + "'(0x00000002)\n"));
}

// Values the registry keeps before the wanted one (its order follows creation)
// that end the lookup: data over 160 bytes, a name over 159 characters.
TEST_F(RegistryWin, AnOversizedEarlierValueEndsTheLookup) {
    std::string data(161, 'x');
    set_raw("a_long", REG_BINARY, data.data(), 161);
    reg_set_string(key_, "b_wanted", "found");
    char text[160] = "";
    EXPECT_EQ(0, reg_get_string(key_, "b_wanted", text, sizeof text));
    set_raw("a_long", REG_BINARY, data.data(), 160);
    EXPECT_EQ(1, reg_get_string(key_, "b_wanted", text, sizeof text));
    EXPECT_STREQ("found", text);

    std::string name(160, 'a');
    reg_set_integer(key_, name.c_str(), 1);
    EXPECT_EQ(0, reg_get_string(key_, "b_wanted", text, sizeof text));
    RegDeleteValueA(key_, name.c_str());
    RegDeleteValueA(key_, "b_wanted");
    reg_set_integer(key_, name.substr(1).c_str(), 1);
    reg_set_string(key_, "b_wanted", "found");
    EXPECT_EQ(1, reg_get_string(key_, "b_wanted", text, sizeof text));
    EXPECT_EQ("Unable to get 'b_wanted' string\nUnable to get 'b_wanted' string\n", log());
}

TEST_F(RegistryWin, ValuesAreReadAsStoredWhateverTheirType) {
    // Text before Raw: a buffer not cleared between steps would show its "D".
    reg_set_string(key_, "Text", "ABCD");
    set_raw("Raw", REG_SZ, "abc", 3);
    reg_set_integer(key_, "Number", 0x4241);
    char text[200];
    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "Raw", text, sizeof text));
    EXPECT_STREQ("abc", text);
    for (auto get : {reg_get_string, reg_get_path}) { // a path of another type reads as text
        memset(text, '#', sizeof text);
        EXPECT_EQ(1, get(key_, "Number", text, sizeof text));
        EXPECT_STREQ("AB", text);
    }
    memset(text, '#', sizeof text);
    EXPECT_EQ(1, reg_get_string(key_, "Text", text, 3));
    EXPECT_STREQ("AB", text);
    EXPECT_EQ('#', text[3]);
    int value = 0;
    EXPECT_EQ(1, reg_get_integer(key_, "Text", &value));
    EXPECT_EQ(0x44434241, value);
    EXPECT_EQ(0, reg_get_integer(key_, "TEXT", &value));
    set_raw("Path", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    EXPECT_EQ(1, reg_get_string(key_, "Path", text, sizeof text));
    EXPECT_STREQ("%TEMP%\\x", text);
    EXPECT_EQ("Unable to get 'TEXT' integer\nUnsupported type 0x00000002 (2)\n", log());
}

long long now_ms() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000 / frequency.QuadPart;
}

// A read-only file stays whatever the tries: it is tried again after each pause
// of 50 ms while the time lasts; a missing file is not there to try.
TEST(FilesWin, AFileThatStaysIsTriedAgainWhileTheTimeLasts) {
    std::string held = write_bytes_file(test_file_name("held"), "x");
    ASSERT_TRUE(SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_READONLY));
    long long start = now_ms();
    EXPECT_EQ(0, file_delete(held.c_str(), 100));
    EXPECT_GE(now_ms() - start, 95);
    EXPECT_EQ(0, file_delete(log_file_path(test_file_name("missing")).c_str(), 100));
    SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1, file_delete(held.c_str(), 0));
    EXPECT_EQ(0, file_exists(held.c_str()));
}

TEST(LibraryWin, EveryNamedEntryIsFoundAndCalled) {
    const struct {
        const char* names;
        int count, loaded;
    } cases[] = {{"GetCurrentProcessId\0GetTickCount\0", 2, 1},
                 {"GetTickCount\0NoSuchEntry\0", 2, 0}};
    for (const auto& c : cases) {
        Library kernel = nullptr;
        void (*entries[2])() = {};
        EXPECT_EQ(c.loaded,
                  library_load_system("kernel32.dll", c.names, c.count, entries, &kernel));
        EXPECT_EQ(c.loaded, kernel != nullptr);
        library_free(&kernel);
    }
    Library kernel = GetModuleHandleA("kernel32.dll");
    int result = 0;
    EXPECT_EQ(1, library_call(kernel, "GetCurrentProcessId", &result));
    EXPECT_EQ(static_cast<int>(GetCurrentProcessId()), result);
    EXPECT_EQ(0, library_call(kernel, "NoSuchEntry", &result));
}

// Every window helper returns 1, on the paths that give up too; a dialog that this
// program's resources lack is logged.
TEST(WindowWin, HelpersReturnOneAndAMissingDialogIsLogged) {
    std::string log_path = open_test_log("window_win.log", LOG_FILE);
    int checked = -1;
    const int results[] = {center_window(GetDesktopWindow(), reinterpret_cast<HWND>(1)),
                           get_item_checked(nullptr, 1, &checked), update_progress(50.0),
                           update_progress(50.0)}; // the second within 50 ms of the first
    for (int result : results) {
        EXPECT_EQ(1, result);
    }
    EXPECT_EQ(0, checked);
    EXPECT_EQ(-1, registration_form_show(nullptr));
    log_close();
    EXPECT_EQ("Unable to show dialog 1004 (1812)\n", read_file(log_path));
}

} // namespace
