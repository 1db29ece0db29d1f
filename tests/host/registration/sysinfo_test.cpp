#include "registration/sysinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/run_mode.h"
#include "registration/registration_samples.h"

namespace {

std::string field(const char* tag, const std::string& value) {
    return std::string("\x02") + tag + value;
}

struct Fixture {
    InstallState state = sample_install_state();
    RegistrantDetails details = sample_registrant();
    SysinfoFacts facts = {};

    Fixture() {
        strcpy(state.text, "REG");
        const unsigned char address[4] = {192, 168, 1, 20};
        memcpy(facts.address, address, 4);
        strcpy(facts.host_name, "desk");
        facts.processor_key_open = 1;
        strcpy(facts.processor_identifier, "x86 Family 6 Model 8");
        strcpy(facts.processor_mhz, "\xF4\x01");
        strcpy(facts.processor_mmx, "Unknown");
        strcpy(facts.processor_vendor, "GenuineIntel");
        facts.screen_width = 1024;
        facts.screen_height = 768;
        facts.bits_per_pixel = 16;
        facts.windows_key_open = 1;
        strcpy(facts.registered_owner, "Jo Smith");
        strcpy(facts.registered_organization, "Unknown");
        facts.version_known = 1;
        facts.platform = 2;
        facts.major_version = 5;
        facts.minor_version = 1;
        facts.build_number = 2600;
        strcpy(facts.service_pack, "Service Pack 3");
        facts.physical_bytes = 268435456u;
        facts.page_file_bytes = 402653184u;
    }

    std::string build(int size = 20480) {
        std::vector<char> buffer(static_cast<size_t>(size));
        int length = -1;
        EXPECT_EQ(
            1, sysinfo_format(&state, "Free text", &details, &facts, buffer.data(), size, &length));
        return std::string(buffer.data(), static_cast<size_t>(length));
    }
};

TEST(SysinfoRecord, EveryFieldInOrder) {
    Fixture f;
    std::string expected =
        field("000", "v1.50 (Release)") + field("001", "Standalone") + field("002", "Free text") +
        field("100", "REG") + field("101", "Acme") + field("102", "Tool") + field("103", "2.0") +
        field("200", "Jo") + field("201", "Smith") + field("202", "1 Main Street") +
        field("203", "Springfield") + field("204", "IL") + field("205", "USA") +
        field("206", "62701") + field("207", "jo@example.com") + field("208", "555-555-5555") +
        field("209", "A friend") + field("300", "192.168.1.20") + field("301", "desk") +
        field("302", "x86 Family 6 Model 8") + field("303", "\xF4") + field("304", "Unknown") +
        field("305", "GenuineIntel") + field("306", "1024,768") + field("307", "16") +
        field("308", "Jo Smith") + field("309", "Unknown") +
        field("310", "Microsoft Windows NT 5.1.2600 Service Pack 3") + field("311", "262144k") +
        field("312", "393216k") + field("400", "Yes") + field("401", "12") + field("402", "News") +
        field("403", "Weekly");
    EXPECT_EQ(expected, f.build());
}

TEST(SysinfoRecord, LeftOutFieldsKeepTheOrderAndTagsOfTheRest) {
    Fixture f;
    f.state.list_server_name[0] = '\0';
    f.state.list_server_number = 0;
    f.state.product_version[0] = '\0';
    memset(f.facts.address, 0, 4);
    f.facts.host_name[0] = '\0';
    f.facts.processor_key_open = 0;
    f.facts.windows_key_open = 0;
    std::string record = f.build();
    EXPECT_NE(std::string::npos, record.find(field("102", "Tool") + field("200", "Jo")));
    EXPECT_NE(std::string::npos, record.find(field("300", "0.0.0.0") + field("306", "1024,768") +
                                             field("307", "16") + field("310", "Microsoft")));
    EXPECT_NE(std::string::npos,
              record.find(field("400", "Yes") + field("401", "0") + field("403", "Weekly")));
    for (const char* tag : {"\x02"
                            "103",
                            "\x02"
                            "301",
                            "\x02"
                            "302",
                            "\x02"
                            "305",
                            "\x02"
                            "308",
                            "\x02"
                            "309",
                            "\x02"
                            "402"}) {
        EXPECT_EQ(std::string::npos, record.find(tag)) << tag + 1;
    }
}

TEST(SysinfoRecord, BlanksOnlyGiveABareTagAndTrailingBlanksGo) {
    Fixture f;
    strcpy(f.details.city, "   ");
    strcpy(f.details.first_name, "Jo \t\r\n");
    strcpy(f.details.last_name, "Sm\xA0"); // bytes 0x80 and above stay
    strcpy(f.details.state, " IL");
    std::string record = f.build();
    EXPECT_NE(std::string::npos,
              record.find(field("200", "Jo") + field("201", "Sm\xA0") +
                          field("202", "1 Main Street") + field("203", "") + field("204", " IL")));
}

TEST(SysinfoRecord, RunModeAndUpdateChoiceTexts) {
    struct Case {
        int run_mode;
        const char* started;
        int choice;
        const char* answer;
    } cases[] = {
        {RUN_REGISTER_STANDALONE, "Standalone", UPDATES_NO_ANSWER, "No answer"},
        {RUN_REGISTER_INSTALLER, "Installer", UPDATES_YES, "Yes"},
        {RUN_UNINSTALL, "Unknown", UPDATES_ALREADY, "Already"},
        {RUN_NONE, "Unknown", UPDATES_NO, "No"},
        {RUN_UPDATE, "Unknown", 7, "Unknown"},
        {RUN_REGISTER_INSTALLER, "Installer", -1, "Unknown"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.state.run_mode = c.run_mode;
        f.details.update_choice = c.choice;
        std::string record = f.build();
        EXPECT_NE(std::string::npos, record.find(field("001", c.started) + field("002", "")))
            << c.run_mode;
        EXPECT_NE(std::string::npos, record.find(field("400", c.answer) + field("401", "12")))
            << c.choice;
    }
}

TEST(SysinfoRecord, WindowsVersionByPlatform) {
    struct Case {
        int known, platform, major, minor;
        unsigned build;
        const char* pack;
        const char* text;
    } cases[] = {
        {1, 0, 3, 10, 0x0001000Au, "", "Microsoft Windows 3.1 3.10.10 "},
        {1, 1, 4, 0, 0x040003B6u, "B", "Microsoft Windows 95 4.0.950 B"},
        {1, 1, 4, 10, 0x040A08AEu, " A ", "Microsoft Windows 98 4.10.2222  A "},
        {1, 1, 4, 90, 0x045A0BB8u, "", "Microsoft Windows 98 4.90.3000 "}, // Windows Me
        {1, 2, 4, 0, 1381u, "Service Pack 6", "Microsoft Windows NT 4.0.1381 Service Pack 6"},
        {1, 2, 5, 1, 0x00010A28u, "", "Microsoft Windows NT 5.1.68136 "}, // all 32 bits
        {1, 3, 6, 2, 9200u, "x", "[3] 6.2.9200 x"},
        {0, 2, 5, 1, 2600u, "", "Unknown"},
    };
    for (const Case& c : cases) {
        SysinfoFacts facts = {};
        facts.version_known = c.known;
        facts.platform = c.platform;
        facts.major_version = c.major;
        facts.minor_version = c.minor;
        facts.build_number = c.build;
        strcpy(facts.service_pack, c.pack);
        char text[SYSINFO_VALUE_SIZE];
        sysinfo_windows_version(&facts, text, sizeof text);
        EXPECT_STREQ(c.text, text);
    }
    Fixture f;
    f.facts.version_known = 0;
    EXPECT_NE(std::string::npos, f.build().find(field("310", "Unknown") + field("311", "")));
}

TEST(SysinfoField, TagFormatAndEmptyValues) {
    char buffer[64];
    memset(buffer, 'x', sizeof buffer);
    SysinfoCursor cursor = {buffer, buffer + sizeof buffer, 0};
    sysinfo_add_field(&cursor, 7, "%s", "seven ");
    sysinfo_add_field(&cursor, 8, "%s", "");
    sysinfo_add_field(&cursor, 9, "%d", 42);
    EXPECT_EQ(field("007", "seven") + field("009", "42"),
              std::string(buffer, static_cast<size_t>(cursor.position - buffer)));
    EXPECT_EQ('\0', *cursor.position);
    EXPECT_EQ(0, cursor.full);
}

TEST(SysinfoField, FieldsStopAtTheEndOfTheBuffer) {
    Fixture f;
    std::string whole = f.build();
    for (int size = 1; size < static_cast<int>(whole.size()) + 2; size += 7) {
        std::string cut = f.build(size); // ASan catches any write past the buffer
        ASSERT_LT(cut.size(), static_cast<size_t>(size));
        EXPECT_EQ(whole.substr(0, cut.size()), cut);
        // Only whole fields: the cut record ends where a field ended.
        EXPECT_TRUE(cut.size() == whole.size() || whole[cut.size()] == '\x02') << size;
    }
}

} // namespace
