#include <gtest/gtest.h>

#include <string>

#include "driver/own_path.h"
#include "driver/relocate.h"
#include "driver/run_mode.h"

namespace {

TEST(OwnPath, ExeIsAppendedOnlyWhenMissingAndWhenItFits) {
    const int size = 160;
    // ".exe" is found anywhere; 155 characters and ".exe" make 159, the most the buffer holds.
    // clang-format off
    const std::string cases[][2] = {
        {"C:\\Acme\\uninstall", "C:\\Acme\\uninstall.exe"}, {"C:\\ACME\\UNINSTALL.EXE", "C:\\ACME\\UNINSTALL.EXE"},
        {"C:\\tools.exe.d\\uninstall", "C:\\tools.exe.d\\uninstall"},
        {std::string(155, 'p'), std::string(155, 'p') + ".exe"}, {std::string(156, 'p'), std::string(156, 'p')}};
    // clang-format on
    for (const auto& c : cases) {
        std::string path = c[0] + std::string(size - c[0].size(), '\0') + "########";
        EXPECT_EQ(1, own_path_complete(&path[0], size));
        EXPECT_EQ(c[1], path.c_str());
        EXPECT_EQ("########", path.substr(size)) << "nothing written past the buffer";
    }
}

TEST(Relocate, SpawnTheWaitThenTheArgumentsByteForByteOrRefused) {
    const char* copy = "C:\\TEMP\\Del1A2B.exe";
    const RelocateWaiting waiting = {0x1C4, 0xFFFFFFFF};
    const std::string long_arguments(RELOCATE_COMMAND_SIZE - 30, 'a');
    // clang-format off
    const struct { const RelocateWaiting* waiting; const char* arguments; int fits; std::string line; } cases[] = {
        {nullptr, nullptr, 1, "\"C:\\TEMP\\Del1A2B.exe\" -Spawn"},
        {nullptr, "-Register %s\t\"x y\" ", 1, "\"C:\\TEMP\\Del1A2B.exe\" -Spawn -Register %s\t\"x y\" "},
        {&waiting, "-Quiet", 1, "\"C:\\TEMP\\Del1A2B.exe\" -Spawn -Waiting:1C4,FFFFFFFF -Quiet"},
        {nullptr, long_arguments.c_str(), 1, "\"C:\\TEMP\\Del1A2B.exe\" -Spawn " + long_arguments},
        {&waiting, long_arguments.c_str(), 0, ""}};
    // clang-format on
    for (const auto& c : cases) {
        char line[RELOCATE_COMMAND_SIZE];
        EXPECT_EQ(c.fits, relocate_command_line(line, sizeof line, copy, c.waiting, c.arguments));
        if (c.fits) {
            EXPECT_EQ(c.line, line);
        }
    }
}

TEST(Relocate, TheWaitIsReadOnlyWhole) {
    // clang-format off
    const struct { const char* command_line; int found; unsigned process, pipe; } cases[] = {
        {"\"D.exe\" -Spawn -Waiting:1c4,aF -Quiet", 1, 0x1C4, 0xAF},
        {"D.exe -waiting:FFFFFFFF,0", 1, 0xFFFFFFFF, 0}, {"D.exe -Waiting:1FFFFFFFF,1", 0, 0, 0},
        {"D.exe -Waiting:1,", 0, 0, 0}, {"D.exe -Waiting:,1", 0, 0, 0}, {"D.exe -Waiting:1 2", 0, 0, 0},
        {"D.exe -Wait:1,2", 0, 0, 0}};
    // clang-format on
    for (const auto& c : cases) {
        RelocateWaiting waiting = {};
        EXPECT_EQ(c.found, relocate_waiting_from(c.command_line, &waiting)) << c.command_line;
        if (c.found) {
            EXPECT_EQ(c.process, waiting.process) << c.command_line;
            EXPECT_EQ(c.pipe, waiting.pipe) << c.command_line;
        }
    }
}

TEST(RunMode, UpdateOverInstRegOverRegisterAndRelocationUnlessSpawnedOrFromTheInstaller) {
    // clang-format off
    const struct { const char* command_line; int run_mode; int relocates; } cases[] = {
        {"u.exe", RUN_UNINSTALL, 1}, {"u.exe -REGISTER", RUN_REGISTER_STANDALONE, 1},
        {"u.exe -spawn -Register", RUN_REGISTER_STANDALONE, 0}, {"u.exe -instreg", RUN_REGISTER_INSTALLER, 0},
        {"u.exe -Register -InstReg", RUN_REGISTER_INSTALLER, 0}, {"u.exe -Update -Register", RUN_UPDATE, 1},
        {"u.exe -InstReg -Update -SPAWN", RUN_UPDATE, 0},
        {"\"C:\\Tools-uPdAtE\\u.exe\" x-registered", RUN_UPDATE, 1},
        {"\"C:\\x-Spawned\\u.exe\" -Regist", RUN_UNINSTALL, 0}};
    // clang-format on
    for (const auto& c : cases) {
        int run_mode = run_mode_from_command_line(c.command_line);
        EXPECT_EQ(c.run_mode, run_mode) << c.command_line;
        EXPECT_EQ(c.relocates, run_mode_relocates(run_mode, c.command_line)) << c.command_line;
    }
}

} // namespace
