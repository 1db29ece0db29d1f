#include "core/cmdline.h"

#include <gtest/gtest.h>

namespace {

struct ArgumentCase {
    const char* text;
    int index;
    const char* expected; // null: no such argument
    int count;
};

TEST(CmdlineArgument, FindsArgumentsAsTyped) {
    const ArgumentCase cases[] = {
        {"\"C:\\Program Files\\Acme\\u.exe\" -Spawn -Register", 1, "-Spawn -Register", 1},
        {"\"C:\\Program Files\\Acme\\u.exe\" -Spawn -Register", 2, "-Register", 2},
        {"\"C:\\Program Files\\Acme\\u.exe\" -Spawn -Register", 3, nullptr, 2},
        {"\"C:\\Program Files\\Acme\\u.exe\"   ", 1, nullptr, 0},
        {"u.exe", 0, "u.exe", 0},
        {"", 0, "", 0},
        {"   ", 0, "", 0},
        {"  u.exe\t\t-a", 1, "-a", 1},
        {"u.exe \"a b\" c", 1, "\"a b\" c", 1},
        {"u.exe \"a b\" c", 2, "c", 2},
        {"u.exe x\"a b\"y z", 2, "z", 2},
        {"u.exe \"unterminated quote z", 2, nullptr, 1},
        {"u.exe\x01-a", 1, "-a", 1},
    };
    for (const ArgumentCase& c : cases) {
        int count = -1;
        const char* found = cmdline_argument(c.text, c.index, &count);
        if (c.expected) {
            ASSERT_NE(nullptr, found) << c.text << " #" << c.index;
            EXPECT_STREQ(c.expected, found) << c.text << " #" << c.index;
        } else {
            EXPECT_EQ(nullptr, found) << c.text << " #" << c.index;
        }
        EXPECT_EQ(c.count, count) << c.text << " #" << c.index;
    }
}

TEST(CmdlineArgument, ReturnsAPointerIntoTheText) {
    const char* text = "prog  -debug";
    EXPECT_EQ(text + 6, cmdline_argument(text, 1, nullptr));
}

} // namespace
