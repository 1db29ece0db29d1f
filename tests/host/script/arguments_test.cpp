#include "script/arguments.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/commands.h"
#include "script/script_fixture.h"

namespace {

class Arguments : public ScriptTest {
  protected:
    // Loads `bytes` and returns where their arguments start (after the first ':').
    const char* arguments_of(const std::string& bytes) {
        load(bytes);
        return state_->script_text + bytes.find(':') + 1;
    }
};

TEST_F(Arguments, EachArgumentEndsAtOneControlByteWhichIsConsumed) {
    const char* arguments = arguments_of("\x16X:first\tsecond\x01\x1f"
                                         "fourth\r\n");
    char value[160];
    int consumed = 0;
    const struct {
        const char* value;
        int consumed;
    } expected[] = {{"first", 6}, {"second", 13}, {"", 14}, {"fourth", 21}, {"", 22}};
    for (const auto& e : expected) {
        arg_take(state_, arguments, value, sizeof value, &consumed);
        EXPECT_STREQ(e.value, value);
        EXPECT_EQ(e.consumed, consumed);
    }
}

TEST_F(Arguments, SpacesAndHighBytesBelongToTheArgument) {
    const char* arguments = arguments_of("\x16X: a b \xe9\xff\x7f\r\n");
    char value[160];
    int consumed = 0;
    arg_take(state_, arguments, value, sizeof value, &consumed);
    EXPECT_STREQ(" a b \xe9\xff\x7f", value);
    EXPECT_EQ(9, consumed);
}

TEST_F(Arguments, ALongArgumentIsCutWhileTheWholeOfItIsConsumed) {
    std::string longer(400, 'L');
    const char* arguments = arguments_of("\x16X:" + longer + "\tnext\r\n");
    char value[160];
    char canary[8] = "canary";
    int consumed = 0;
    arg_take(state_, arguments, value, sizeof value, &consumed);
    EXPECT_EQ(std::string(159, 'L'), value);
    EXPECT_STREQ("canary", canary);
    EXPECT_EQ(401, consumed);
    arg_take(state_, arguments, value, sizeof value, &consumed);
    EXPECT_STREQ("next", value);

    char small[5];
    consumed = 0;
    arg_take(state_, arguments, small, sizeof small, &consumed);
    EXPECT_STREQ("LLLL", small);
    EXPECT_EQ(401, consumed);
    consumed = 0;
    arg_take(state_, arguments, small, 1, &consumed);
    EXPECT_STREQ("", small);
    EXPECT_EQ(401, consumed);
}

TEST_F(Arguments, ReadsAtOrPastTheEndYieldEmptyArgumentsAndStayInside) {
    const char* arguments = arguments_of("\x16X:last");
    char value[160];
    int consumed = 0;
    arg_take(state_, arguments, value, sizeof value, &consumed);
    EXPECT_STREQ("last", value);
    EXPECT_EQ(5, consumed) << "the appended zero ends it";
    for (int i = 0; i < 3; ++i) {
        strcpy(value, "stale");
        arg_take(state_, arguments, value, sizeof value, &consumed);
        EXPECT_STREQ("", value);
        EXPECT_EQ(5, consumed) << "nothing past the appended zero is consumed";
    }
    // A keyword cut by the end leaves its arguments one past the appended zero.
    consumed = 0;
    arg_take(state_, state_->script_text + state_->script_length + 1, value, sizeof value,
             &consumed);
    EXPECT_STREQ("", value);
    EXPECT_EQ(0, consumed);
}

TEST_F(Arguments, CountingLooksAtOneArgumentAndLeavesItsEndByte) {
    const char* arguments = arguments_of("\x16X:a.txt,b.txt,,c\tz,z\r\n");
    int count = 1;
    int consumed = 77;
    arg_count(state_, arguments, ',', &count, &consumed);
    EXPECT_EQ(4, count);
    EXPECT_EQ(14, consumed);

    arguments = arguments_of("\x16X:");
    count = 1;
    arg_count(state_, arguments, ',', &count, &consumed);
    EXPECT_EQ(1, count);
    EXPECT_EQ(0, consumed);
    arg_count(state_, state_->script_text + state_->script_length + 1, ',', &count, &consumed);
    EXPECT_EQ(0, consumed);
}

TEST_F(Arguments, SkippingStopsAtTheLineEndOnly) {
    struct Case {
        std::string bytes;
        int consumed;
    } cases[] = {
        {"\x16X:Arial\t10\x01x\r\n", 10},
        {"\x16X:a\nb", 1},
        {"\x16X:ab\rb", 2},
        {"\x16X:", 0},
        {"\x16X:abc", 3},
        {std::string("\x16X:ab\0cd", 8), 2},
    };
    for (const Case& c : cases) {
        const char* arguments = arguments_of(c.bytes);
        int consumed = 99;
        EXPECT_EQ(1, cmd_skip_line(state_, arguments, &consumed));
        EXPECT_EQ(c.consumed, consumed) << testing::PrintToString(c.bytes);
    }
    int consumed = 99;
    cmd_skip_line(state_, state_->script_text + state_->script_length + 1, &consumed);
    EXPECT_EQ(0, consumed);
}

TEST(ArgumentDecimal, ReadsASignedDecimalPrefix) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"12", 12},
        {" -42x", -42},
        {"abc", 0},
        {"", 0},
        {"+7", 7},
        {"\t\n 9", 9},
        {"- 5", 0},
        {"--5", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"4294967297", 1}, // beyond 32 bits it wraps around
        {"1e3", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, arg_decimal(c.text)) << "'" << c.text << "'";
    }
}

TEST(ArgumentsDeath, ArgumentsOutsideTheScriptStop) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    char text[] = "abc";
    InstallState state{};
    state.script_text = text;
    state.script_length = 2;
    char value[8];
    int consumed = 0;
    EXPECT_EXIT(arg_take(&state, text + 4, value, sizeof value, &consumed),
                testing::ExitedWithCode(1), "Arguments outside the script");
    EXPECT_EXIT(arg_take(&state, text, value, 0, &consumed), testing::ExitedWithCode(1),
                "Invalid argument buffer size");
}

} // namespace
