#include <gtest/gtest.h>

#include <string>

#include "script/arguments.h"
#include "script/script_fixture.h"

namespace {

const std::string g_empty_summary = ScriptTest::summary("", "", 0, "", "");

std::string command(const std::string& line) {
    return "\x16" + line + "\r\n";
}

class ScriptRun : public ScriptTest {
  protected:
    // The run ended at an unknown keyword: its line, the box, no summary.
    void expect_corrupted(const std::string& keyword) {
        EXPECT_EQ("Unknown script command '" + keyword + "'\n", log());
        ASSERT_EQ(1u, message_fake_calls().size());
        EXPECT_EQ("notify", message_fake_calls()[0].kind);
        EXPECT_EQ("Installation script corrupted!", message_fake_calls()[0].text);
        EXPECT_FALSE(message_fake_calls()[0].has_caption);
    }
};

TEST_F(ScriptRun, KeywordsMatchInAnyLetterCase) {
    for (const char* keyword : {"COMPANY NAME", "company name", "Company Name", "cOMPANY nAME"}) {
        ASSERT_EQ(1, run(command(std::string(keyword) + ":Acme"))) << keyword;
        EXPECT_STREQ("Acme", state_->company_name) << keyword;
    }
}

TEST_F(ScriptRun, MisspacedKeywordsEndTheRunAsCorrupted) {
    for (const char* keyword : {"COMPANY  NAME", "COMPANY NAME ", " COMPANY NAME", "COMPANYNAME"}) {
        log_close();
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        message_fake_reset();
        EXPECT_EQ(0, run(command(std::string(keyword) + ":Acme"))) << keyword;
        expect_corrupted(keyword);
        EXPECT_STREQ("", state_->company_name);
    }
}

TEST_F(ScriptRun, CommandsBeforeAnUnknownOneHaveTheirEffectAndThoseAfterDoNot) {
    std::string script =
        command("COMPANY NAME:Acme") + command("FROBNICATE:x") + command("PRODUCT NAME:Tool");
    EXPECT_EQ(0, run(script));
    expect_corrupted("FROBNICATE");
    EXPECT_STREQ("Acme", state_->company_name);
    EXPECT_STREQ("", state_->product_name);
    EXPECT_EQ(state_->script_text + script.find("\x16"
                                                "FROBNICATE"),
              state_->run_position)
        << "left at the failing command's mark";
}

TEST_F(ScriptRun, KeywordsAreCutAfter39CharactersAndThe40thIsPassedOver) {
    std::string keyword(45, 'K');
    EXPECT_EQ(0, run(command(keyword + ":x")));
    expect_corrupted(std::string(39, 'K'));
}

TEST_F(ScriptRun, AMarkFollowedByAColonIsTheEmptyKeyword) {
    EXPECT_EQ(0, run(command(":Acme")));
    expect_corrupted("");
}

TEST_F(ScriptRun, BytesOutsideCommandsAreIgnored) {
    std::string script = "header bytes\x01\x02\xff\r\n" + command("COMPANY NAME:Acme") +
                         "stray text between commands\r\n" + command("PRODUCT NAME:Tool") +
                         "trailing bytes";
    EXPECT_EQ(1, run(script));
    EXPECT_STREQ("Acme", state_->company_name);
    EXPECT_STREQ("Tool", state_->product_name);
    EXPECT_EQ(summary("Acme", "Tool", 0, "", ""), log());
}

// A lone CR or LF ends an argument as CR LF does; the command after it runs.
TEST_F(ScriptRun, EveryLineEndSeparatesCommands) {
    for (const char* end : {"\r\n", "\r", "\n"}) {
        std::string script = "\x16"
                             "COMPANY NAME:Acme" +
                             std::string(end) +
                             "\x16"
                             "PRODUCT NAME:Tool" +
                             end;
        EXPECT_EQ(1, run(script)) << "line end " << testing::PrintToString(end);
        EXPECT_STREQ("Acme", state_->company_name);
        EXPECT_STREQ("Tool", state_->product_name);
    }
}

TEST_F(ScriptRun, ACommandGluedToTheNextHidesIt) {
    // The mark ends Acme, and the loop's extra byte passes the 'P'.
    EXPECT_EQ(1, run("\x16"
                     "COMPANY NAME:Acme\x16"
                     "PRODUCT NAME:Tool\r\n"));
    EXPECT_STREQ("Acme", state_->company_name);
    EXPECT_STREQ("", state_->product_name);
    // A handler that leaves its end byte unread: the mark is that byte.
    EXPECT_EQ(1, run("\x16"
                     "FILE LIST:a,b\x16"
                     "PRODUCT NAME:Tool\r\n"));
    EXPECT_STREQ("", state_->product_name);
}

TEST_F(ScriptRun, AScriptWithoutLineEndEndsAtTheAppendedZero) {
    EXPECT_EQ(1, run(command("PRODUCT NAME:Tool") + "\x16"
                                                    "COMPANY NAME:Acme"));
    EXPECT_STREQ("Acme", state_->company_name);
    EXPECT_STREQ("Tool", state_->product_name);
    EXPECT_EQ(state_->script_text + state_->script_length + 1, state_->run_position)
        << "just past the end";
}

TEST_F(ScriptRun, AKeywordCutByTheEndReadsEmptyArguments) {
    for (const char* script : {"\x16"
                               "COMPANY NAME",
                               "\x16"
                               "COMPANY NAME:",
                               "\x16"
                               "LISTSERVER:7"}) {
        EXPECT_EQ(1, run(script)) << script;
        EXPECT_STREQ("", state_->company_name);
        EXPECT_STREQ("", state_->list_server_name);
        EXPECT_STREQ("", state_->list_server_text);
        EXPECT_LE(state_->run_position, state_->script_text + state_->script_length + 1);
    }
    EXPECT_EQ(7, state_->list_server_number);
}

TEST_F(ScriptRun, EmptyAndMarklessScriptsSucceedWithEmptySummary) {
    for (const std::string& script :
         {std::string(), std::string("no commands here\r\n"), std::string("\0\0\0", 3)}) {
        log_close();
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        EXPECT_EQ(1, run(script));
        EXPECT_EQ(g_empty_summary, log());
        EXPECT_TRUE(message_fake_calls().empty());
    }
}

TEST_F(ScriptRun, TheSummaryLinesCloseASuccessfulRun) {
    std::string script = command("COMPANY NAME:Acme Widgets") +
                         command("PRODUCT NAME:Widget Studio") +
                         command("INSTALL DIR:Acme Widgets\\Widget Studio");
    EXPECT_EQ(1, run(script));
    EXPECT_EQ("Company Name   : Acme Widgets\n"
              "Product Name   : Widget Studio\n"
              "File Count     : 0\n"
              "Install Path   :  [Acme Widgets\\Widget Studio\\]\n",
              log());
}

TEST_F(ScriptRun, AFailingHandlerEndsTheRunWithoutABox) {
    keyword_table_free();
    keyword_add("COMPANY NAME", [](InstallState* state, const char* arguments, int* consumed) {
        return arg_take(state, arguments, state->company_name, STATE_TEXT_SIZE, consumed);
    });
    keyword_add("REFUSE", [](InstallState*, const char*, int*) { return 0; });
    EXPECT_EQ(
        0, run(command("COMPANY NAME:Acme") + command("REFUSE:x") + command("COMPANY NAME:Other")));
    EXPECT_EQ("Command Failed 'REFUSE'\n", log());
    EXPECT_TRUE(message_fake_calls().empty());
    EXPECT_STREQ("Acme", state_->company_name);
}

TEST_F(ScriptRun, TheRunStartsAtTheRunPositionAndStoresTheOwner) {
    load(command("COMPANY NAME:Acme") + command("PRODUCT NAME:Tool"));
    state_->run_position = state_->script_text + 5;
    int owner = 0;
    EXPECT_EQ(1, script_run(state_, &owner));
    EXPECT_EQ(&owner, state_->owner_window);
    EXPECT_STREQ("", state_->company_name);
    EXPECT_STREQ("Tool", state_->product_name);
}

TEST_F(ScriptRun, LoadingKeepsTheRunModeAndAppendsAZero) {
    load("\x16TEXT:x", RUN_UPDATE);
    EXPECT_EQ(RUN_UPDATE, state_->run_mode);
    EXPECT_EQ(7, state_->script_length);
    EXPECT_EQ('\0', state_->script_text[7]);
    EXPECT_EQ(state_->script_text, state_->run_position);
    EXPECT_STREQ("", state_->company_name);
    EXPECT_EQ(0, state_->file_count);
}

TEST_F(ScriptRun, LoadingAMissingScriptFailsAndLeavesNothingBehind) {
    InstallState* state = nullptr;
    std::string missing = log_file_path(test_file_name("missing.dat"));
    EXPECT_EQ(0, script_load(&state, missing.c_str(), RUN_UNINSTALL));
    EXPECT_EQ(nullptr, state);
    keyword_table_free();
    mem_report();
    EXPECT_EQ(std::string::npos, log().find("Not all memory")) << log();
}

TEST_F(ScriptRun, FreeingEmptiesTheCallersPointer) {
    load(command("TEXT:x"));
    EXPECT_EQ(1, script_free(&state_));
    EXPECT_EQ(nullptr, state_);
}

TEST(ScriptDeath, NullPointersStop) {
    EXPECT_EXIT(script_load(nullptr, "install.dat", RUN_UNINSTALL), testing::ExitedWithCode(1),
                "Pointer is NULL");
    EXPECT_EXIT(script_run(nullptr, nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    InstallState* none = nullptr;
    EXPECT_EXIT(script_free(&none), testing::ExitedWithCode(1), "Pointer is NULL");
}

} // namespace
