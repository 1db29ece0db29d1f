// CREATE GROUP and ADD ITEM: the program group's shortcuts on the fakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/uninstall_fixture.h"

namespace {

using Paths = std::vector<std::string>;

const std::string g_programs = "C:\\Users\\Ann\\Start Menu\\Programs";
const std::string g_group = g_programs + "\\Acme Tool";

// What is left inside the Programs folder.
Paths programs_left() {
    Paths left;
    for (const std::string& path : files_fake_paths()) {
        if (path.compare(0, g_programs.size(), g_programs) == 0) {
            left.push_back(path);
        }
    }
    return left;
}

class Shortcuts : public UninstallTest {
  protected:
    void SetUp() override {
        UninstallTest::SetUp();
        files_fake_reset();
        files_fake_add_file(g_programs + "\\Other\\other.lnk");
    }
};

TEST_F(Shortcuts, TheUninstallRunDeletesEachItemAndTheEmptiedGroup) {
    files_fake_add_file(g_group + "\\Tool Help.lnk");
    files_fake_add_file(g_group + "\\Tool.lnk");
    ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool") +
                     command("ADD ITEM:1\thelp.exe\t/topic\tTool Help") +
                     command("ADD ITEM:2\ttool.exe\t\tTool")));
    EXPECT_EQ(Paths({g_programs, g_programs + "\\Other", g_programs + "\\Other\\other.lnk"}),
              programs_left());
    EXPECT_EQ("Delete Group = '" + g_group + "'\n" +
                  "Delete Item = 'Acme Tool' : 'Tool Help' ('help.exe' / '/topic')\n" +
                  "Delete file '" + g_group + "\\Tool Help.lnk'\n" +
                  "Delete Item = 'Acme Tool' : 'Tool' ('tool.exe' / '')\n" + "Delete file '" +
                  g_group + "\\Tool.lnk'\n" + "Deleting '" + g_group + "\\'\n" +
                  summary("", "", 0, "", ""),
              log());
    EXPECT_STREQ("Acme Tool", current_group());
}

TEST_F(Shortcuts, AShortcutTheScriptDoesNotNameKeepsItsGroup) {
    files_fake_add_file(g_group + "\\Tool.lnk");
    files_fake_add_file(g_group + "\\Added by the user.lnk");
    ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool") + command("ADD ITEM:1\ttool.exe\t\tTool")));
    EXPECT_EQ(Paths({g_programs, g_group, g_group + "\\Added by the user.lnk",
                     g_programs + "\\Other", g_programs + "\\Other\\other.lnk"}),
              programs_left());
}

TEST_F(Shortcuts, ItemsBeforeAnyGroupLieInTheProgramsFolder) {
    files_fake_add_file(g_programs + "\\Tool.lnk");
    ASSERT_EQ(1, run(command("ADD ITEM:1\ttool.exe\t\tTool")));
    EXPECT_FALSE(files_fake_exists(g_programs + "\\Tool.lnk"));
    EXPECT_TRUE(files_fake_exists(g_programs));
    EXPECT_EQ(0u, log().find("Delete Item = '' : 'Tool' ('tool.exe' / '')\n"
                             "Delete file '" +
                             g_programs + "\\Tool.lnk'\n"));
}

TEST_F(Shortcuts, AMissingShortcutIsOnlyLogged) {
    ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool") + command("ADD ITEM:1\ttool.exe\t\tTool") +
                     command("TEXT:after")));
    EXPECT_NE(std::string::npos, log().find("Unable to delete file '" + g_group + "\\Tool.lnk'\n"));
    EXPECT_STREQ("after", state_->text);
}

TEST_F(Shortcuts, OtherRunsOnlyRememberTheRegistrationShortcut) {
    files_fake_add_file(g_group + "\\Register Tool.lnk");
    files_fake_add_file(g_group + "\\Tool.lnk");
    std::vector<std::string> before = files_fake_paths();
    struct Case {
        const char* arguments;
        std::string stored;
    } cases[] = {
        {"-Register", g_group + "\\Register Tool.lnk"},
        {"-rEGISTER", g_group + "\\Register Tool.lnk"},
        {"-Register now", ""},
        {"", ""},
    };
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        for (const Case& c : cases) {
            ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool") +
                                 command(std::string("ADD ITEM:3\tu.exe\t") + c.arguments +
                                         "\tRegister Tool"),
                             mode));
            EXPECT_EQ(c.stored, state_->register_shortcut) << c.arguments;
        }
    }
    EXPECT_EQ(before, files_fake_paths());

    ASSERT_EQ(1, run(command("ADD ITEM:3\tu.exe\t-Register\tFirst") +
                         command("CREATE GROUP:Acme Tool") +
                         command("ADD ITEM:3\tu.exe\t-Register\tSecond"),
                     RUN_REGISTER_STANDALONE));
    EXPECT_EQ(g_group + "\\Second.lnk", state_->register_shortcut);
}

TEST_F(Shortcuts, OLEStartForgetsTheGroup) {
    ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool")));
    EXPECT_STREQ("Acme Tool", current_group());
    current_group_clear();
    EXPECT_STREQ("", current_group());
}

TEST_F(Shortcuts, PathsThatDoNotFitOrAreNotFullAreNeverDeleted) {
    // Cut, each of these would name another file.
    std::string group(150, 'g');
    std::string item(150, 'i');
    std::string long_item(200, 'l');
    files_fake_add_file(g_programs + "\\" + group + "\\" + item + ".lnk");
    files_fake_add_file(g_programs + "\\" + std::string(159, 'l') + ".lnk");
    std::vector<std::string> before = files_fake_paths();
    ASSERT_EQ(1, run(command("CREATE GROUP:" + group) + command("ADD ITEM:1\tt.exe\t\t" + item) +
                     command("CREATE GROUP:") + command("ADD ITEM:1\tt.exe\t\t" + long_item) +
                     command("CREATE GROUP:" + std::string(200, 'g')) +
                     command("ADD ITEM:1\tt.exe\t\tTool")));
    EXPECT_EQ(before, files_fake_paths());
    EXPECT_EQ(std::string::npos, log().find("Delete file"));
    EXPECT_NE(std::string::npos, log().find("Path too long '" + g_programs + "\\" + group));

    ASSERT_EQ(
        1, run(command("CREATE GROUP:" + group) + command("ADD ITEM:3\tu.exe\t-Register\tRegister"),
               RUN_REGISTER_STANDALONE));
    EXPECT_STREQ("", state_->register_shortcut) << "longer than its 159 characters";

    shell_folder_fake_set("");
    ASSERT_EQ(1, run(command("CREATE GROUP:Acme Tool") + command("ADD ITEM:1\tt.exe\t\tTool")));
    EXPECT_NE(std::string::npos, log().find("Not a full path '\\Acme Tool\\Tool.lnk'\n"));
}

TEST_F(Shortcuts, GroupFolderAddsOneSeparator) {
    char folder[SHORTCUT_PATH_SIZE];
    EXPECT_EQ(1, group_folder("Acme", folder, sizeof folder));
    EXPECT_EQ(g_programs + "\\Acme", folder);
    EXPECT_EQ(1, group_folder("", folder, sizeof folder));
    EXPECT_EQ(g_programs, folder);
    shell_folder_fake_set("C:\\");
    EXPECT_EQ(1, group_folder("Acme", folder, sizeof folder));
    EXPECT_STREQ("C:\\Acme", folder);
    EXPECT_EQ(0, group_folder("Acme", folder, 5));
    EXPECT_STREQ("C:\\A", folder);
}

} // namespace
