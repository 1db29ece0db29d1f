// The run loop over the keyword table, the argument readers and the commands
// that store or hand over their arguments.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "fakes/script_fakes.h"
#include "script/arguments.h"
#include "script/script_fixture.h"

namespace {

TEST_F(ScriptTest, TheRunGoesFromMarkToMarkUntilAnUnknownKeyword) {
    const std::string k39(39, 'K');
    // clang-format off
    const struct {
        std::string script;
        const char* unknown; // the keyword that ends the run, or null
        const char* company; const char* product; int files;
        int past; // where a finished run stops: on the appended zero, or one past it
    } cases[] = {
        {S("~cOMPANY nAME:Acme|~product name:Tool|"), nullptr, "Acme", "Tool", 0, 0},
        {S("\x01\xff|~COMPANY NAME:Acme|x|~PRODUCT NAME:Tool|tail"), nullptr, "Acme", "Tool", 0, 0},
        {S("~COMPANY NAME:Acme\r~PRODUCT NAME:Tool\n"), nullptr, "Acme", "Tool", 0, 1},
        // The mark ends Acme, and the loop's extra byte passes the 'P'.
        {S("~COMPANY NAME:Acme~PRODUCT NAME:Tool|"), nullptr, "Acme", "", 0, 0},
        {S("~FILE LIST:a,b~PRODUCT NAME:Tool|"), nullptr, "", "", 2, 0},
        {S("~PRODUCT NAME:Tool|~COMPANY NAME:Acme"), nullptr, "Acme", "Tool", 0, 1},
        {S("~COMPANY NAME"), nullptr, "", "", 0, 1}, {S("~FILE LIST"), nullptr, "", "", 1, 1},
        {"", nullptr, "", "", 0, 0}, {std::string("\0\0", 2), nullptr, "", "", 0, 0},
        {S("~COMPANY NAME:Acme|~FROBNICATE:x|~PRODUCT NAME:Tool|"), "FROBNICATE", "Acme", "", 0, 0},
        {S("~COMPANY  NAME:Acme|"), "COMPANY  NAME", "", "", 0, 0},
        {S("~ COMPANY NAME:Acme|"), " COMPANY NAME", "", "", 0, 0},
        {S("~INSTALLS:|"), "INSTALLS", "", "", 0, 0}, {S("~:Acme|"), "", "", "", 0, 0},
        {S("~" + k39 + "KKKKKK:x|"), k39.c_str(), "", "", 0, 0}};
    // clang-format on
    for (const auto& c : cases) {
        int result = run(c.script);
        const char* end = state_->script_text + state_->script_length;
        EXPECT_EQ(c.unknown ? "Unknown script command '" + std::string(c.unknown) + "'\n"
                            : summary(c.company, c.product, c.files, "", ""),
                  log())
            << c.script;
        EXPECT_EQ(c.unknown ? "notify: Installation script corrupted!\n" : "", boxes());
        EXPECT_EQ(c.unknown ? 0 : 1, result);
        EXPECT_TRUE(c.unknown ? *state_->run_position == 0x16
                              : state_->run_position == end + c.past);
        EXPECT_STREQ(c.company, state_->company_name);
        EXPECT_STREQ(c.product, state_->product_name);
    }
    keyword_add("ABCDEF",
                [](InstallState*, const char*, int* consumed) { return *consumed += 5, 0; });
    EXPECT_EQ(0, run(S("~COMPANY NAME:Acme|~ABCDEF:x|~COMPANY NAME:Other|")));
    EXPECT_EQ("Command Failed 'ABCDEF'\n", log());
    EXPECT_EQ("", boxes());
    EXPECT_STREQ("Acme", state_->company_name);
}

TEST_F(ScriptTest, AnArgumentEndsAtOneControlByteAndIsCutToItsBuffer) {
    const std::string longer(200, 'L');
    run("first\t a\xe9\x7f\x01\x1f" + longer + "\r\n");
    // clang-format off
    const struct { int from; int size; std::string value; int consumed; int whole; } cases[] = {
        {0, 160, "first", 6, 1}, {6, 160, " a\xe9\x7f", 11, 1}, {11, 160, "", 12, 1},
        {12, 201, longer, 213, 1}, {12, 200, longer.substr(1), 213, 0}, {12, 1, "", 213, 0},
        {213, 160, "", 214, 1}, {214, 160, "", 215, 1}, {215, 160, "", 215, 1}}; // past the zero
    // clang-format on
    for (const auto& c : cases) {
        std::vector<char> value(static_cast<size_t>(c.size), 'x');
        int consumed = c.from;
        EXPECT_EQ(c.whole,
                  arg_take_whole(state_, state_->script_text, value.data(), c.size, &consumed));
        EXPECT_EQ(c.value, value.data()) << c.from << " " << c.size;
        EXPECT_EQ(c.consumed, consumed) << c.from << " " << c.size;
    }
    // clang-format off
    const struct { const char* text; int value; } decimals[] = { // " -42x" is INSTALL SIZE's below
        {"abc", 0}, {"+7", 7}, {"\t\n 9", 9}, {"--5", 0}, {"4294967297", 1}, {"-2147483648", INT_MIN}};
    // clang-format on
    for (const auto& c : decimals) {
        EXPECT_EQ(c.value, arg_decimal(c.text)) << c.text;
    }
}

TEST_F(ScriptTest, CommandsStoreTheirArgumentsAndHandOverOnlyInTheirRunModes) {
    const std::string longer(300, 'v');
    const std::string script = S(
        "~PRODUCT VERSION:" + longer + "\tx|~TEXT:t|~UPDATE URL:u|~UPDATE KEY:k|~REGISTRY PATH:r|" +
        "~INSTALL NAME:i|~UNINSTALL NAME:n|~LISTSERVER:12\tNews\tWeekly|~INSTALL SIZE: -42x|" +
        "~REGISTER:http://127.0.0.1/r\tTool 1.0\t" + longer + "|~DONE:x|~PRODUCT NAME:after|");
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        for (int result : {1, 0}) {
            flows_fake_runs().clear();
            flows_fake_registration_result = result;
            ASSERT_EQ(1, run(script, mode));
            bool registers = mode == RUN_REGISTER_STANDALONE || mode == RUN_REGISTER_INSTALLER;
            std::string runs;
            for (const FlowRun& flow : flows_fake_runs()) {
                EXPECT_TRUE(flow.state == state_ && flow.owner_window == this);
                runs += flow.texts + "\n";
            }
            EXPECT_EQ(registers ? longer.substr(0, 159) + "|http://127.0.0.1/r|Tool 1.0\n"
                      : mode == RUN_UPDATE ? "update\n"
                                           : "",
                      runs);
            EXPECT_EQ(registers && !result ? RUN_NONE : mode, state_->run_mode);
        }
    }
    EXPECT_EQ(longer.substr(0, 159), state_->product_version);
    EXPECT_EQ("u k r i n 12 News Weekly -42 after",
              std::string(state_->update_url) + " " + state_->update_key + " " +
                  state_->registry_path + " " + state_->install_name + " " +
                  state_->uninstall_name + " " + std::to_string(state_->list_server_number) + " " +
                  state_->list_server_name + " " + state_->list_server_text + " " +
                  std::to_string(state_->install_size) + " " + state_->product_name);
    EXPECT_STREQ("", state_->text) << "REGISTER empties it";
    ASSERT_EQ(1, run("\x16LISTSERVER:7"));
    EXPECT_EQ(7, state_->list_server_number);
    EXPECT_STREQ("", state_->list_server_name) << "the missing second argument replaces the first";
    // Commands of the installer only: their arguments are passed over.
    for (const char* ignored : {"BRAND LIST", "EXECUTE", "BREAK"}) {
        ASSERT_EQ(1, run(S("~TEXT:before|~" + std::string(ignored) +
                           ":a\tb\x01~TEXT:inside|~PRODUCT NAME:after|")));
        EXPECT_EQ("before after", std::string(state_->text) + " " + state_->product_name)
            << ignored;
    }
}

} // namespace
