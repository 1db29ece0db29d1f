#include "driver/own_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(OwnPath, ExeIsAppendedOnlyWhenMissingAndWhenItFits) {
    const int size = 160;
    struct Case {
        std::string path;
        std::string completed;
    } cases[] = {
        {"C:\\Acme\\uninstall", "C:\\Acme\\uninstall.exe"},
        {"C:\\Acme\\uninstall.bin", "C:\\Acme\\uninstall.bin.exe"},
        {"C:\\Acme\\uninstall.exe", "C:\\Acme\\uninstall.exe"},
        {"C:\\ACME\\UNINSTALL.EXE", "C:\\ACME\\UNINSTALL.EXE"},
        // Found anywhere, as a substring.
        {"C:\\tools.exe.d\\uninstall", "C:\\tools.exe.d\\uninstall"},
        {"", ".exe"},
        // 155 characters and ".exe" make 159, the most the buffer holds.
        {std::string(155, 'p'), std::string(155, 'p') + ".exe"},
        {std::string(156, 'p'), std::string(156, 'p')},
        {std::string(159, 'p'), std::string(159, 'p')},
    };
    for (const Case& c : cases) {
        char path[size + 8];
        std::string guard(8, '#');
        std::copy(c.path.begin(), c.path.end(), path);
        path[c.path.size()] = '\0';
        std::copy(guard.begin(), guard.end(), path + size);
        EXPECT_EQ(1, own_path_complete(path, size));
        EXPECT_EQ(c.completed, path) << c.path;
        EXPECT_EQ(guard, std::string(path + size, 8)) << "nothing written past the buffer";
    }
}

} // namespace
