// What sysinfo_gather reads from the machine, against the test prefix and
// the same Windows calls made directly.
#include <windows.h>
#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "net/socket.h"
#include "registration/sysinfo.h"

namespace {

const char g_processor_key[] = "Hardware\\Description\\System\\CentralProcessor\\0";
const char g_windows_key[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char* const g_owner_names[] = {"RegisteredOwner", "RegisteredOrganization"};

struct StoredValue {
    bool present;
    DWORD type;
    std::string data;
};

StoredValue query(const char* path, const char* name) {
    StoredValue value = {false, REG_NONE, ""};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        BYTE data[1024];
        DWORD size = sizeof data;
        value.present = RegQueryValueExA(key, name, nullptr, &value.type, data, &size) == 0;
        value.data.assign(reinterpret_cast<char*>(data), value.present ? size : 0);
        RegCloseKey(key);
    }
    return value;
}

// Any value's bytes up to the first zero byte; a missing one reads "Unknown".
std::string as_text(const StoredValue& value) {
    return value.present ? value.data.substr(0, value.data.find('\0')) : "Unknown";
}

void store(const char* name, const StoredValue& value) {
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_windows_key, 0, KEY_SET_VALUE, &key));
    if (value.present) {
        EXPECT_EQ(0, RegSetValueExA(key, name, 0, value.type,
                                    reinterpret_cast<const BYTE*>(value.data.data()),
                                    static_cast<DWORD>(value.data.size())));
    } else {
        RegDeleteValueA(key, name);
    }
    RegCloseKey(key);
}

class SysinfoWin : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, sock_startup());
        for (int i = 0; i < 2; ++i) {
            saved_[i] = query(g_windows_key, g_owner_names[i]);
        }
        memset(&facts_, 'j', sizeof facts_);
    }
    void TearDown() override {
        for (int i = 0; i < 2; ++i) {
            store(g_owner_names[i], saved_[i]);
        }
        sock_cleanup();
    }

    StoredValue saved_[2];
    SysinfoFacts facts_;
};

TEST_F(SysinfoWin, HostIsTheMachinesOwnNameAndFirstAddress) {
    char name[256] = "";
    ASSERT_EQ(0, gethostname(name, sizeof name));
    const hostent* entry = gethostbyname(name);
    ASSERT_TRUE(entry != nullptr && entry->h_addr_list[0] != nullptr);
    const std::string official = entry->h_name;
    const std::string address(entry->h_addr_list[0], 4);
    ASSERT_EQ(1, sysinfo_gather(&facts_));
    EXPECT_TRUE(facts_.host_name == official || facts_.host_name == std::string(name))
        << facts_.host_name;
    EXPECT_EQ(address, std::string(reinterpret_cast<char*>(facts_.address), 4));
}

TEST_F(SysinfoWin, ProcessorValuesReadAsTheirBytesOrUnknown) {
    // Wine stores "~MHz" as a number and has no "MMXIdentifier": raw bytes and "Unknown".
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), query(g_processor_key, "~MHz").type);
    EXPECT_FALSE(query(g_processor_key, "MMXIdentifier").present);
    ASSERT_EQ(1, sysinfo_gather(&facts_));
    EXPECT_EQ(1, facts_.processor_key_open);
    const std::pair<const char*, const char*> rows[] = {
        {"Identifier", facts_.processor_identifier},
        {"~MHz", facts_.processor_mhz},
        {"MMXIdentifier", facts_.processor_mmx},
        {"VendorIdentifier", facts_.processor_vendor}};
    for (const auto& row : rows) {
        EXPECT_EQ(as_text(query(g_processor_key, row.first)), row.second) << row.first;
    }
}

TEST_F(SysinfoWin, OwnerIsReadAndAMissingOrganizationIsUnknown) {
    store("RegisteredOwner", {true, REG_SZ, std::string("Jo Smith", 9)});
    store("RegisteredOrganization", {false, REG_NONE, ""});
    ASSERT_EQ(1, sysinfo_gather(&facts_));
    EXPECT_EQ(1, facts_.windows_key_open);
    EXPECT_STREQ("Jo Smith", facts_.registered_owner);
    EXPECT_STREQ("Unknown", facts_.registered_organization);
}

TEST_F(SysinfoWin, ScreenVersionAndMemoryAreWhatWindowsReports) {
    HDC screen = GetDC(nullptr);
    const int caps[] = {GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES),
                        GetDeviceCaps(screen, BITSPIXEL)};
    ReleaseDC(nullptr, screen);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    MEMORYSTATUS memory = {};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);

    ASSERT_EQ(1, sysinfo_gather(&facts_));
    EXPECT_EQ(caps[0], facts_.screen_width);
    EXPECT_EQ(caps[1], facts_.screen_height);
    EXPECT_EQ(caps[2], facts_.bits_per_pixel);
    EXPECT_EQ(1, facts_.version_known);
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(facts_.platform));
    EXPECT_EQ(version.dwMajorVersion, static_cast<DWORD>(facts_.major_version));
    EXPECT_EQ(version.dwMinorVersion, static_cast<DWORD>(facts_.minor_version));
    EXPECT_EQ(version.dwBuildNumber, facts_.build_number);
    EXPECT_STREQ(version.szCSDVersion, facts_.service_pack);
    EXPECT_EQ(memory.dwTotalPhys, facts_.physical_bytes);
    EXPECT_EQ(memory.dwTotalPageFile, facts_.page_file_bytes);
}

} // namespace
