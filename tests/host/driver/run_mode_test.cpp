#include "driver/run_mode.h"

#include <gtest/gtest.h>

namespace {

TEST(RunMode, LaterOptionsOverrideEarlierOnesInAnyCase) {
    struct Case {
        const char* command_line;
        int run_mode;
    } cases[] = {
        {"\"C:\\Acme\\uninstall.exe\"", RUN_UNINSTALL},
        {"\"C:\\Acme\\uninstall.exe\" -Register", RUN_REGISTER_STANDALONE},
        {"\"C:\\Acme\\uninstall.exe\" -REGISTER", RUN_REGISTER_STANDALONE},
        {"\"C:\\Acme\\uninstall.exe\" -instreg", RUN_REGISTER_INSTALLER},
        {"\"C:\\Acme\\uninstall.exe\" -Update", RUN_UPDATE},
        {"\"C:\\Acme\\uninstall.exe\" -Update -Register", RUN_UPDATE},
        {"\"C:\\Acme\\uninstall.exe\" -InstReg -Update", RUN_UPDATE},
        {"\"C:\\Acme\\uninstall.exe\" -Register -InstReg", RUN_REGISTER_INSTALLER},
        {"\"C:\\Acme\\uninstall.exe\" x-registered", RUN_REGISTER_STANDALONE},
        {"\"C:\\Tools-uPdAtE\\uninstall.exe\"", RUN_UPDATE},
        {"\"C:\\Acme\\uninstall.exe\" -Regist", RUN_UNINSTALL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run_mode, run_mode_from_command_line(c.command_line)) << c.command_line;
    }
}

TEST(RunMode, RelocationUnlessSpawnedOrStartedByTheInstaller) {
    struct Case {
        const char* command_line;
        int relocates;
    } cases[] = {
        {"u.exe", 1},
        {"u.exe -Spawn", 0},
        {"u.exe -spawn -Register", 0},
        {"u.exe -Register", 1},
        {"u.exe -InstReg", 0},
        {"u.exe -INSTREG -debug", 0},
        {"u.exe -InstReg -Update", 1},
        {"u.exe -InstReg -Update -SPAWN", 0},
        {"\"C:\\x-Spawned\\u.exe\"", 0},
    };
    for (const auto& c : cases) {
        int run_mode = run_mode_from_command_line(c.command_line);
        EXPECT_EQ(c.relocates, run_mode_relocates(run_mode, c.command_line)) << c.command_line;
    }
}

} // namespace
