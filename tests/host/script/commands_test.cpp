#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "script/script_fixture.h"

namespace {

std::string command(const std::string& line) {
    return "\x16" + line + "\r\n";
}

class Commands : public ScriptTest {};

TEST_F(Commands, TextCommandsStoreTheirArgumentInEveryRunMode) {
    struct Case {
        const char* keyword;
        size_t field; // offset of the field in InstallState
    } cases[] = {
        {"COMPANY NAME", offsetof(InstallState, company_name)},
        {"PRODUCT NAME", offsetof(InstallState, product_name)},
        {"PRODUCT VERSION", offsetof(InstallState, product_version)},
        {"TEXT", offsetof(InstallState, text)},
        {"UPDATE URL", offsetof(InstallState, update_url)},
        {"REGISTRY PATH", offsetof(InstallState, registry_path)},
        {"INSTALL NAME", offsetof(InstallState, install_name)},
        {"UNINSTALL NAME", offsetof(InstallState, uninstall_name)},
    };
    for (int mode :
         {RUN_UNINSTALL, RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        for (const Case& c : cases) {
            std::string script =
                command(std::string(c.keyword) + ":value of " + c.keyword + "\tsecond") +
                command("INSTALL SIZE:5");
            ASSERT_EQ(1, run(script, mode)) << c.keyword;
            const char* field = reinterpret_cast<const char*>(state_) + c.field;
            EXPECT_EQ(std::string("value of ") + c.keyword, field) << mode;
            EXPECT_EQ(5, state_->install_size) << "the next command was reached";
        }
    }
}

TEST_F(Commands, AStoredTextIsCutTo159Characters) {
    std::string longer(300, 'n');
    ASSERT_EQ(1, run(command("COMPANY NAME:" + longer) + command("PRODUCT NAME:Tool")));
    EXPECT_EQ(std::string(159, 'n'), state_->company_name);
    EXPECT_STREQ("Tool", state_->product_name);
}

TEST_F(Commands, ListServerStoresTheNumberNameAndText) {
    ASSERT_EQ(1, run(command("LISTSERVER:12\tNews\tWeekly")));
    EXPECT_EQ(12, state_->list_server_number);
    EXPECT_STREQ("News", state_->list_server_name);
    EXPECT_STREQ("Weekly", state_->list_server_text);

    ASSERT_EQ(1, run(command("LISTSERVER:\t\tWeekly")));
    EXPECT_EQ(0, state_->list_server_number);
    EXPECT_STREQ("", state_->list_server_name);
    EXPECT_STREQ("Weekly", state_->list_server_text);

    ASSERT_EQ(1, run(command("LISTSERVER:3")));
    EXPECT_EQ(3, state_->list_server_number);
    EXPECT_STREQ("", state_->list_server_name) << "the missing second argument replaces the first";
    EXPECT_STREQ("", state_->list_server_text);
}

TEST_F(Commands, InstallSizeReadsADecimal) {
    struct Case {
        const char* argument;
        int size;
    } cases[] = {{" -42x", -42}, {"abc", 0}, {"1536", 1536}, {"", 0}};
    for (const Case& c : cases) {
        ASSERT_EQ(1, run(command(std::string("INSTALL SIZE:") + c.argument)));
        EXPECT_EQ(c.size, state_->install_size) << c.argument;
    }
}

TEST_F(Commands, IgnoredCommandsPassTheirWholeLine) {
    for (const char* keyword : {"BRAND LIST", "GRADIENT START", "GRADIENT END", "FONT", "STRING",
                                "REFRESH", "EXECUTE", "AGREEMENT", "MESSAGE", "BREAK"}) {
        std::string script = command(std::string(keyword) + ":a\tb\x01 c") + command("TEXT:after");
        ASSERT_EQ(1, run(script)) << keyword;
        EXPECT_STREQ("after", state_->text) << keyword;
    }
}

} // namespace
