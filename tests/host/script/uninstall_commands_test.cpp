// FILE LIST, INSTALL DIR, INSTALL PATH, INSTALL and DONE through real script
// runs on the fakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/uninstall_fixture.h"

namespace {

using Paths = std::vector<std::string>;

const char g_product_key[] = "Software\\Acme\\Tool";
const char g_entry_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Tool";
const char g_folder[] = "C:\\Program Files\\Acme\\Tool\\";
const char g_question[] = "Are you sure you want to uninstall Acme Tool?";
const char g_not_found[] = "Unable to find previous installation; files could not be removed.";
const char g_translates[] = "$0 Translates to 'C:\\Program Files\\'\n";

class Uninstall : public UninstallTest {
  protected:
    // The product as its installer leaves it, under `folder`.
    void install(const std::string& folder = g_folder) {
        for (const char* name : {"tool.exe", "readme.txt", "help\\tool.hlp", "uninstall.exe"}) {
            files_fake_add_file(folder + name);
        }
        set_string(REG_ROOT_CURRENT_USER, g_product_key, "Install Path", folder.c_str());
        set_string(REG_ROOT_LOCAL_MACHINE, g_entry_key, nullptr, nullptr);
    }

    static std::string script(const std::string& files = "tool.exe,readme.txt,help\\tool.hlp",
                              const std::string& registry_path = g_product_key) {
        return command("COMPANY NAME:Acme") + command("PRODUCT NAME:Tool") +
               command("REGISTRY PATH:" + registry_path) + command("INSTALL DIR:Acme\\Tool") +
               command("INSTALL PATH:Installing Tool") + command("FILE LIST:" + files) +
               command("UNINSTALL NAME:uninstall.exe") + command("INSTALL:") +
               command("DONE:Tool has been removed.");
    }

    std::vector<MessageCall>& boxes() { return message_fake_calls(); }
};

TEST_F(Uninstall, FileListCountsItsNamesAndKeepsThemInTheScript) {
    struct Case {
        const char* argument;
        int count;
    } cases[] = {{"a.txt,b.txt,c.txt", 3}, {"", 1}, {"a.txt,", 2}, {",,", 3}, {"a.txt", 1}};
    for (const Case& c : cases) {
        ASSERT_EQ(1, run(command(std::string("FILE LIST:") + c.argument) + command("TEXT:next"),
                         RUN_UPDATE));
        EXPECT_EQ(c.count, state_->file_count) << c.argument;
        EXPECT_EQ(0, std::string(state_->file_list).find(std::string(c.argument) + "\r\n"));
        EXPECT_STREQ("next", state_->text);
    }
    // Cut by the end of the script: the list is the appended zero.
    ASSERT_EQ(1, run("\x16"
                     "FILE LIST"));
    EXPECT_EQ(1, state_->file_count);
    EXPECT_EQ(state_->script_text + state_->script_length, state_->file_list);
}

TEST_F(Uninstall, InstallDirEndsWithABackslash) {
    struct Case {
        const char* argument;
        const char* folder;
    } cases[] = {{"Acme\\Tool", "Acme\\Tool\\"}, {"Acme\\Tool\\", "Acme\\Tool\\"}, {"", ""}};
    for (const Case& c : cases) {
        ASSERT_EQ(1,
                  run(command(std::string("INSTALL DIR:") + c.argument), RUN_REGISTER_INSTALLER));
        EXPECT_STREQ(c.folder, state_->install_dir);
    }
}

TEST_F(Uninstall, InstallPathIsProgramFilesAndTheFolderUnlessTheRegistryTells) {
    std::string compute = command("REGISTRY PATH:Software\\Acme\\Tool") +
                          command("INSTALL DIR:Acme\\Tool") + command("INSTALL PATH:Installing");
    for (int mode : {RUN_UNINSTALL, RUN_REGISTER_STANDALONE, RUN_UPDATE, RUN_NONE}) {
        registry_fake_reset();
        set_string(REG_ROOT_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                   "ProgramFilesDir", "C:\\Program Files");
        ASSERT_EQ(1, run(compute, mode));
        EXPECT_STREQ(g_folder, state_->install_path) << "no key: nothing logged";
        EXPECT_STREQ("", state_->text);

        set_string(REG_ROOT_CURRENT_USER, g_product_key, "Other", "x");
        ASSERT_EQ(1, run(compute, mode));
        EXPECT_STREQ(g_folder, state_->install_path);

        // The stored value wins unchanged, without a trailing backslash too.
        set_string(REG_ROOT_CURRENT_USER, g_product_key, "Install Path", "D:\\Apps\\Tool");
        ASSERT_EQ(1, run(compute, mode));
        EXPECT_STREQ("D:\\Apps\\Tool", state_->install_path);
    }
    std::string once = summary("", "", 0, g_folder, "Acme\\Tool\\");
    std::string missing = std::string(g_translates) + "Unable to get 'Install Path' string\n";
    EXPECT_EQ(0u, log().find(g_translates + once + missing + once + g_translates +
                             summary("", "", 0, "D:\\Apps\\Tool", "Acme\\Tool\\")));
}

TEST_F(Uninstall, AnInstallationFolderTooLongForItsFieldIsNotGuessed) {
    std::string dir(150, 'd');
    ASSERT_EQ(1, run(command("INSTALL DIR:" + dir) + command("INSTALL PATH:x") +
                     command("FILE LIST:a.txt") + command("INSTALL:")));
    EXPECT_STREQ("", state_->install_path);
    EXPECT_EQ(std::string(g_translates) + "Path too long 'C:\\Program Files\\" + dir + "\\'\n" +
                  "Not a full path 'a.txt'\n" + summary("", "", 1, "", dir + "\\"),
              log());
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\other.exe"}),
              files_fake_paths());
}

TEST_F(Uninstall, YesRemovesEveryFileTheFoldersTheyEmptyAndTheUninstallEntry) {
    install();
    ASSERT_EQ(1, run(script()));
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ("confirm", boxes()[0].kind);
    EXPECT_EQ(g_question, boxes()[0].text);
    EXPECT_FALSE(boxes()[0].has_caption);
    EXPECT_EQ("notify", boxes()[1].kind);
    EXPECT_EQ("Acme Tool has been uninstalled!", boxes()[1].text);
    EXPECT_EQ("Uninstaller...", boxes()[1].caption);
    EXPECT_STREQ("", state_->text);
    EXPECT_EQ(RUN_UNINSTALL, state_->run_mode);

    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\other.exe"}),
              files_fake_paths());
    EXPECT_FALSE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
    EXPECT_TRUE(reg_key_exists(REG_ROOT_CURRENT_USER, g_product_key));

    std::string f = g_folder;
    EXPECT_EQ(g_translates + ("Delete file '" + f + "tool.exe'\n") + "Delete file '" + f +
                  "readme.txt'\n" + "Delete file '" + f + "help\\tool.hlp'\n" + "Deleting '" + f +
                  "help\\'\n" + "Delete file '" + f + "uninstall.exe'\n" + "Deleting '" + f +
                  "'\n" + "Deleting 'C:\\Program Files\\Acme'\n" +
                  summary("Acme", "Tool", 3, f, "Acme\\Tool\\"),
              log());

    const auto& events = window_fake_events();
    ASSERT_EQ(5u, events.size());
    EXPECT_EQ(ProgressEvent::SHOW, events[0].kind);
    EXPECT_EQ(1, events[0].flag);
    EXPECT_EQ(0.0, events[1].percentage);
    EXPECT_DOUBLE_EQ(100.0 / 3, events[2].percentage);
    EXPECT_DOUBLE_EQ(200.0 / 3, events[3].percentage);
    EXPECT_EQ(ProgressEvent::SHOW, events[4].kind);
    EXPECT_EQ(0, events[4].flag);
}

TEST_F(Uninstall, TheStoredInstallPathDecidesWhereFilesGo) {
    install("D:\\Apps\\Tool\\");
    install(g_folder);
    set_string(REG_ROOT_CURRENT_USER, g_product_key, "Install Path", "D:\\Apps\\Tool\\");
    ASSERT_EQ(1, run(script()));
    EXPECT_FALSE(files_fake_exists("D:\\Apps"));
    EXPECT_TRUE(files_fake_exists(std::string(g_folder) + "tool.exe"));
}

TEST_F(Uninstall, InstallNameIsDeletedLast) {
    install();
    ASSERT_EQ(1, run(command("INSTALL PATH:x") + command("INSTALL DIR:Acme\\Tool") +
                     command("INSTALL PATH:x") + command("INSTALL NAME:tool.exe") +
                     command("UNINSTALL NAME:uninstall.exe") + command("INSTALL:")));
    EXPECT_NE(std::string::npos,
              log().find("Delete file 'C:\\Program Files\\Acme\\Tool\\uninstall.exe'\n"
                         "Delete file 'C:\\Program Files\\Acme\\Tool\\tool.exe'\n"));
    EXPECT_EQ(0, state_->file_count);
}

TEST_F(Uninstall, NoRemovesNothingAndDoneStaysSilent) {
    install();
    std::vector<std::string> before = files_fake_paths();
    message_fake_reset(0);
    ASSERT_EQ(1, run(script() + command("TEXT:after")));
    EXPECT_EQ(RUN_NONE, state_->run_mode);
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ(g_question, boxes()[0].text);
    EXPECT_EQ(before, files_fake_paths());
    EXPECT_TRUE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
    EXPECT_TRUE(window_fake_events().empty());
    EXPECT_STREQ("after", state_->text);
}

TEST_F(Uninstall, AMissingProductKeyStopsTheRemovalWithANotice) {
    install();
    registry_fake_reset();
    set_string(REG_ROOT_LOCAL_MACHINE, g_entry_key, nullptr, nullptr);
    std::vector<std::string> before = files_fake_paths();
    ASSERT_EQ(1, run(script()));
    EXPECT_EQ(RUN_NONE, state_->run_mode);
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ(g_not_found, boxes()[1].text);
    EXPECT_FALSE(boxes()[1].has_caption);
    EXPECT_EQ(before, files_fake_paths());
    EXPECT_TRUE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
}

TEST_F(Uninstall, AStoredInstallPathTooLongToReadStopsTheRemoval) {
    install();
    std::string stored = "C:\\" + std::string(200, 'p') + "\\";
    set_string(REG_ROOT_CURRENT_USER, g_product_key, "Install Path", stored.c_str());
    std::vector<std::string> before = files_fake_paths();
    ASSERT_EQ(1, run(script()));
    EXPECT_EQ(RUN_NONE, state_->run_mode);
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ(g_not_found, boxes()[1].text);
    EXPECT_EQ(before, files_fake_paths()) << "nothing from the computed folder either";
    EXPECT_STREQ(g_folder, state_->install_path);
}

TEST_F(Uninstall, AMissingInstallPathValueLeavesTheComputedFolder) {
    install();
    registry_fake_reset();
    set_string(REG_ROOT_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
               "ProgramFilesDir", "C:\\Program Files");
    set_string(REG_ROOT_CURRENT_USER, g_product_key, "Other", "x");
    ASSERT_EQ(1, run(script()));
    EXPECT_EQ(RUN_UNINSTALL, state_->run_mode);
    EXPECT_FALSE(files_fake_exists("C:\\Program Files\\Acme"));
}

TEST_F(Uninstall, WithoutRegistryPathTheComputedFolderIsUsed) {
    install();
    ASSERT_EQ(1, run(script("tool.exe,readme.txt,help\\tool.hlp", "")));
    EXPECT_FALSE(files_fake_exists("C:\\Program Files\\Acme"));
    EXPECT_EQ(2u, boxes().size());
}

TEST_F(Uninstall, AFileThatCannotBeDeletedKeepsItsFoldersAndTheRestGoes) {
    install();
    files_fake_hold(std::string(g_folder) + "help\\tool.hlp");
    ASSERT_EQ(1, run(script()));
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Acme",
                     "C:\\Program Files\\Acme\\Tool", "C:\\Program Files\\Acme\\Tool\\help",
                     "C:\\Program Files\\Acme\\Tool\\help\\tool.hlp", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\other.exe"}),
              files_fake_paths());
    EXPECT_NE(
        std::string::npos,
        log().find("Unable to delete file 'C:\\Program Files\\Acme\\Tool\\help\\tool.hlp'\n"));
    EXPECT_EQ("Acme Tool has been uninstalled!", boxes().back().text);
}

TEST_F(Uninstall, NamesAreTakenAsWrittenAndAnEmptyListNamesTheFolder) {
    install();
    files_fake_add_file(std::string(g_folder) + " readme.txt");
    ASSERT_EQ(1, run(script("readme.txt, readme.txt")));
    EXPECT_FALSE(files_fake_exists(std::string(g_folder) + " readme.txt"));
    EXPECT_TRUE(files_fake_exists(std::string(g_folder) + "tool.exe"));

    files_fake_reset();
    files_fake_add_folder(g_folder);
    files_fake_add_file("C:\\Program Files\\keep.txt");
    set_string(REG_ROOT_LOCAL_MACHINE, g_entry_key, nullptr, nullptr);
    ASSERT_EQ(1, run(command("INSTALL DIR:Acme\\Tool") + command("INSTALL PATH:x") +
                     command("FILE LIST:") + command("INSTALL:")));
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\keep.txt"}), files_fake_paths());
    EXPECT_NE(std::string::npos,
              log().find("Delete file 'C:\\Program Files\\Acme\\Tool\\'\n"
                         "Unable to delete file 'C:\\Program Files\\Acme\\Tool\\'\n"
                         "Deleting 'C:\\Program Files\\Acme\\Tool\\'\n"));
}

TEST_F(Uninstall, ANameTooLongIsRefusedAndTheListStaysInStep) {
    install();
    std::string longer(200, 'n');
    ASSERT_EQ(1, run(script("tool.exe," + longer + ",readme.txt")));
    EXPECT_FALSE(files_fake_exists(std::string(g_folder) + "readme.txt"));
    std::string cut = std::string(g_folder) + std::string(143 - 27, 'n');
    EXPECT_NE(std::string::npos, log().find("Path too long '" + cut + "'\n"));
    EXPECT_EQ(std::string::npos, log().find("Delete file '" + cut));
}

TEST_F(Uninstall, LongNamesAreCutSoThatTheQuestionAndTheNoticeStayWhole) {
    install();
    std::string company(159, 'c');
    std::string product(159, 'p');
    ASSERT_EQ(1, run(command("COMPANY NAME:" + company) + command("PRODUCT NAME:" + product) +
                     command("INSTALL:") + command("DONE:x")));
    ASSERT_EQ(2u, boxes().size());
    std::string question = "Are you sure you want to uninstall " + std::string(107, 'c') + "?";
    EXPECT_EQ(question, boxes()[0].text);
    EXPECT_EQ(143u, question.size());
    EXPECT_EQ(std::string(137, 'c') + " has been uninstalled!", boxes()[1].text);

    std::string spaced = std::string(100, 'c');
    ASSERT_EQ(1, run(command("COMPANY NAME:" + spaced) + command("PRODUCT NAME:" + product) +
                     command("INSTALL:") + command("DONE:x")));
    EXPECT_EQ("Are you sure you want to uninstall " + spaced + " pppppp?", boxes()[2].text);
    EXPECT_EQ(spaced + " " + std::string(36, 'p') + " has been uninstalled!", boxes()[3].text);
}

TEST_F(Uninstall, InOtherRunModesInstallDoesNothing) {
    install();
    std::vector<std::string> before = files_fake_paths();
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        ASSERT_EQ(1, run(script(), mode));
        EXPECT_EQ(mode, state_->run_mode);
    }
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(before, files_fake_paths());
    EXPECT_TRUE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
    EXPECT_TRUE(window_fake_events().empty());
}

TEST_F(Uninstall, DoneLeavesTheEntryWithoutUninstallNameAndAKeyTooLong) {
    set_string(REG_ROOT_LOCAL_MACHINE, g_entry_key, nullptr, nullptr);
    ASSERT_EQ(1, run(command("COMPANY NAME:Acme") + command("PRODUCT NAME:Tool") +
                     command("DONE:Tool has been removed.") + command("TEXT:after")));
    EXPECT_TRUE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, g_entry_key));
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Acme Tool has been uninstalled!", boxes()[0].text);
    EXPECT_STREQ("after", state_->text) << "DONE's argument was read";

    // A key path cut to fit would name another key.
    std::string company(159, 'c');
    std::string cut_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + company;
    set_string(REG_ROOT_LOCAL_MACHINE, cut_key.c_str(), nullptr, nullptr);
    ASSERT_EQ(1, run(command("COMPANY NAME:" + company) + command("PRODUCT NAME:" + company) +
                     command("UNINSTALL NAME:u.exe") + command("DONE:x")));
    EXPECT_TRUE(reg_key_exists(REG_ROOT_LOCAL_MACHINE, cut_key.c_str()));
    EXPECT_NE(std::string::npos, log().find("Path too long '" + cut_key));
}

TEST_F(Uninstall, DoneReportsAnEntryThatCannotBeDeletedAndStillNotifies) {
    set_string(REG_ROOT_LOCAL_MACHINE, (std::string(g_entry_key) + "\\Sub").c_str(), nullptr,
               nullptr);
    ASSERT_EQ(1, run(command("COMPANY NAME:Acme") + command("PRODUCT NAME:Tool") +
                     command("UNINSTALL NAME:u.exe") + command("DONE:x")));
    EXPECT_NE(std::string::npos,
              log().find(std::string("Unable to delete key '") + g_entry_key + "'(0x00000005)\n"));
    EXPECT_EQ("Acme Tool has been uninstalled!", boxes().back().text);
}

TEST_F(Uninstall, DoneInTheRegistrationRunsDeletesTheRegistrationShortcutOnly) {
    std::string group = "C:\\Users\\Ann\\Start Menu\\Programs\\Acme Tool\\";
    std::string items =
        command("CREATE GROUP:Acme Tool") + command("ADD ITEM:1\ttool.exe\t\tTool") +
        command("ADD ITEM:2\tuninstall.exe\t-Register\tRegister Tool") + command("DONE:x");
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        files_fake_reset();
        files_fake_add_file(group + "Tool.lnk");
        files_fake_add_file(group + "Register Tool.lnk");
        ASSERT_EQ(1, run(items, mode));
        bool registration = mode == RUN_REGISTER_STANDALONE || mode == RUN_REGISTER_INSTALLER;
        EXPECT_EQ(!registration, files_fake_exists(group + "Register Tool.lnk")) << mode;
        EXPECT_TRUE(files_fake_exists(group + "Tool.lnk")) << mode;
        EXPECT_TRUE(boxes().empty()) << mode;
    }
}

TEST_F(Uninstall, ABigFolderIsListedOnlyOnceItsNextFileIsGone) {
    std::string names;
    for (int i = 0; i < 200; ++i) {
        std::string name = "data\\f" + std::to_string(i) + ".dat";
        files_fake_add_file(std::string(g_folder) + name);
        names += (i ? "," : "") + name;
    }
    install();
    ASSERT_EQ(1, run(script(names + ",tool.exe,readme.txt,help\\tool.hlp")));
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\other.exe"}),
              files_fake_paths());
    int listings = 0;
    for (const std::string& call : files_fake_calls()) {
        listings += call.compare(0, 5, "list ") == 0;
    }
    // Only where the next name lies in another folder, or there is none:
    // data\ and the installation folder after the last data file, the
    // installation folder after readme.txt, help\ and the installation
    // folder after help\tool.hlp, and three folders up from uninstall.exe.
    EXPECT_EQ(8, listings);
    EXPECT_EQ(2u + 203u, window_fake_events().size()) << "one step for each listed name";
}

TEST_F(Uninstall, NamesWithMacrosAreExpandedInTheirTurn) {
    install();
    ASSERT_EQ(1, run(script("readme.txt,$0Acme\\Tool\\tool.exe,$9help\\tool.hlp")));
    std::string f = g_folder;
    EXPECT_NE(std::string::npos,
              log().find("Delete file '" + f + "readme.txt'\n" + g_translates + "Delete file '" +
                         f + "tool.exe'\nUnknown command '9'\nDelete file '" + f +
                         "help\\tool.hlp'\n"))
        << log();
    EXPECT_FALSE(files_fake_exists("C:\\Program Files\\Acme"));
}

} // namespace
