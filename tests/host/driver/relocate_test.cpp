#include "driver/relocate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char g_copy[] = "C:\\TEMP\\Del1A2B.exe";

TEST(RelocateCommandLine, SpawnThenTheArgumentsByteForByte) {
    struct Case {
        const char* arguments;
        const char* command_line;
    } cases[] = {
        {nullptr, "\"C:\\TEMP\\Del1A2B.exe\" -Spawn"},
        {"-debug", "\"C:\\TEMP\\Del1A2B.exe\" -Spawn -debug"},
        {"-Register  -debug\t\"x y\" ",
         "\"C:\\TEMP\\Del1A2B.exe\" -Spawn -Register  -debug\t\"x y\" "},
        {"%s %d", "\"C:\\TEMP\\Del1A2B.exe\" -Spawn %s %d"},
        {"", "\"C:\\TEMP\\Del1A2B.exe\" -Spawn "},
    };
    for (const auto& c : cases) {
        char command_line[RELOCATE_COMMAND_SIZE];
        EXPECT_EQ(1, relocate_command_line(command_line, sizeof command_line, g_copy, c.arguments))
            << c.command_line;
        EXPECT_STREQ(c.command_line, command_line);
    }
}

TEST(RelocateCommandLine, ALineThatDoesNotFitIsRefused) {
    // The quoted path and " -Spawn " take 29 bytes; 482 more make 511 characters.
    const std::string head = std::string("\"") + g_copy + "\" -Spawn ";
    ASSERT_EQ(29u, head.size());
    char command_line[RELOCATE_COMMAND_SIZE];
    std::string fits(RELOCATE_COMMAND_SIZE - 1 - head.size(), 'a');
    EXPECT_EQ(1, relocate_command_line(command_line, sizeof command_line, g_copy, fits.c_str()));
    EXPECT_EQ(head + fits, command_line);
    std::string over = fits + "b";
    EXPECT_EQ(0, relocate_command_line(command_line, sizeof command_line, g_copy, over.c_str()));
}

} // namespace
