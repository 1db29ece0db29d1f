// The registrant's details against the real registry of the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/log.h"
#include "driver/identity.h"
#include "registration/registrant.h"
#include "registration/registration_samples.h"
#include "support/log_file.h"

namespace {

const char* const g_stored_names[] = {"First Name", "Last Name", "Address", "City", "State",
                                      "Country",    "Zip",       "Email",   "Phone"};

class RegistrantWin : public testing::Test {
  protected:
    void SetUp() override {
        remove_key();
        log_path_ = open_test_log("registrant_win.log", LOG_FILE);
    }
    void TearDown() override {
        log_close();
        remove_key();
    }
    static void remove_key() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_MAKER_KEY, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            char name[400];
            DWORD size = sizeof name;
            while (RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS) {
                RegDeleteValueA(key, name);
                size = sizeof name;
            }
            RegCloseKey(key);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, PROGRAM_MAKER_KEY);
    }
    static HKEY create_key() {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, PROGRAM_MAKER_KEY, 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }
    static void set_text(HKEY key, const char* name, const std::string& text) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)));
    }
    // The stored data and its type, or type REG_NONE when the value is missing.
    static std::string stored(const char* name, DWORD* type) {
        HKEY key;
        *type = REG_NONE;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_MAKER_KEY, 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return "";
        }
        BYTE data[1024];
        DWORD size = sizeof data;
        LONG status = RegQueryValueExA(key, name, nullptr, type, data, &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            *type = REG_NONE;
            return "";
        }
        return std::string(reinterpret_cast<char*>(data), size);
    }
    static int value_count() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, PROGRAM_MAKER_KEY, 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return -1;
        }
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return static_cast<int>(count);
    }
    std::string log() const { return read_file(log_path_); }

    std::string log_path_;
};

void fill_with_junk() {
    memset(&g_registrant, 'j', sizeof g_registrant);
}

TEST_F(RegistrantWin, LoadingCreatesAMissingKeyWithTheEmptyRecord) {
    fill_with_junk();
    ASSERT_EQ(1, registrant_load());
    EXPECT_EQ(UPDATES_NO_ANSWER, g_registrant.update_choice);
    RegistrantDetails empty = {};
    EXPECT_EQ(0, memcmp(&empty, &g_registrant, sizeof empty));
    EXPECT_EQ(10, value_count());
    DWORD type;
    for (const char* name : g_stored_names) {
        EXPECT_EQ(std::string(1, '\0'), stored(name, &type)) << name;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << name;
    }
    EXPECT_EQ(std::string(4, '\0'), stored("ListServer", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ("", log());
}

TEST_F(RegistrantWin, SavedDetailsComeBackWithoutTheReferral) {
    g_registrant = sample_registrant(UPDATES_ALREADY);
    RegistrantDetails saved = g_registrant;
    ASSERT_EQ(1, registrant_save());
    EXPECT_EQ(10, value_count());
    DWORD type;
    EXPECT_EQ(std::string("1 Main Street", 14), stored("Address", &type));
    EXPECT_EQ(std::string("\x02\0\0\0", 4), stored("ListServer", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    fill_with_junk();
    ASSERT_EQ(1, registrant_load());
    memset(saved.referral, 0, sizeof saved.referral);
    EXPECT_EQ(0, memcmp(&saved, &g_registrant, sizeof saved));
    EXPECT_STREQ("Springfield", g_registrant.city);
    EXPECT_STREQ("", g_registrant.referral);
    EXPECT_EQ("", log());
}

TEST_F(RegistrantWin, StoredTextsLongerThanTheirFieldsAreCut) {
    HKEY key = create_key();
    set_text(key, "First Name", std::string(159, 'F'));
    set_text(key, "Last Name", std::string(80, 'L'));
    set_text(key, "Address", std::string(159, 'A'));
    set_text(key, "City", std::string(79, 'C'));
    set_text(key, "Email", std::string(120, 'E'));
    set_text(key, "Phone", std::string(159, 'P'));
    RegCloseKey(key);
    ASSERT_EQ(1, registrant_load());
    EXPECT_EQ(std::string(79, 'F'), g_registrant.first_name);
    EXPECT_EQ(std::string(79, 'L'), g_registrant.last_name);
    EXPECT_EQ(std::string(159, 'A'), g_registrant.street_address);
    EXPECT_EQ(std::string(79, 'C'), g_registrant.city);
    EXPECT_EQ(std::string(79, 'E'), g_registrant.email);
    EXPECT_EQ(std::string(79, 'P'), g_registrant.phone);
    EXPECT_STREQ("", g_registrant.state);
    EXPECT_STREQ("", g_registrant.referral); // nothing ran over from the phone
}

TEST_F(RegistrantWin, MissingValuesStayClearedAndAreOnlyLogged) {
    HKEY key = create_key();
    set_text(key, "Email", "jo@example.com");
    set_text(key, "first name", "Jo"); // other capitals: not the stored value
    RegCloseKey(key);
    fill_with_junk();
    ASSERT_EQ(1, registrant_load());
    EXPECT_STREQ("jo@example.com", g_registrant.email);
    EXPECT_STREQ("", g_registrant.first_name);
    EXPECT_STREQ("", g_registrant.zip_code);
    EXPECT_EQ(UPDATES_NO_ANSWER, g_registrant.update_choice);
    EXPECT_EQ("Unable to get 'First Name' string\n"
              "Unable to get 'Last Name' string\n"
              "Unable to get 'Address' string\n"
              "Unable to get 'City' string\n"
              "Unable to get 'State' string\n"
              "Unable to get 'Country' string\n"
              "Unable to get 'Zip' string\n"
              "Unable to get 'Phone' string\n"
              "Unable to get 'ListServer' integer\n",
              log());
}

TEST_F(RegistrantWin, ChoiceStoredAsTextReadsAsItsFirstFourBytes) {
    HKEY key = create_key();
    set_text(key, "ListServer", "Yes!");
    RegCloseKey(key);
    ASSERT_EQ(1, registrant_load());
    EXPECT_EQ(0x21736559, g_registrant.update_choice);
}

} // namespace
