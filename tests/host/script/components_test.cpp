// OLE and register_component on the fake libraries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/components.h"
#include "script/uninstall_fixture.h"

namespace {

using Calls = std::vector<std::string>;

const std::string g_system = "C:\\Windows\\System32\\";

class Components : public UninstallTest {};

TEST_F(Components, TheVerbOfTheInstallationIsUndone) {
    struct Case {
        const char* verb;
        const char* entry;
    } cases[] = {
        {"REGISTER", "DllUnregisterServer"},
        {"register", "DllUnregisterServer"},
        {"UNREGISTER", "DllRegisterServer"},
        {"INSTALL", "DllRegisterServer"},
    };
    library_fake_add(g_system + "comp.ocx", {true, true, 0});
    for (const Case& c : cases) {
        library_fake_reset();
        library_fake_add(g_system + "comp.ocx", {true, true, 0});
        ASSERT_EQ(
            1, run(command(std::string("OLE:") + c.verb + "\t$2comp.ocx") + command("TEXT:after")));
        std::string path = g_system + "comp.ocx";
        EXPECT_EQ(Calls({"load " + path, "call " + path + " " + c.entry, "free " + path}),
                  library_fake_calls())
            << c.verb;
        EXPECT_EQ(std::string("OLE: ") + c.verb + " '" + path + "'\n" + summary("", "", 0, "", ""),
                  log());
        EXPECT_STREQ("after", state_->text);
        log_close();
        log_path_ = open_test_log(test_file_name(c.verb), LOG_FILE);
    }
}

TEST_F(Components, FailuresAreLoggedAndTheNextCommandRuns) {
    std::string dir = "C:\\Program Files\\Acme\\";
    library_fake_add(dir + "noentry.dll", {true, false, 0});
    library_fake_add(dir + "fails.dll", {true, true, static_cast<int>(0x80004005u)});
    library_fake_add(dir + "one.dll", {true, true, 1});
    ASSERT_EQ(1, run(command("INSTALL DIR:Acme") + command("INSTALL PATH:x") +
                     command("OLE:REGISTER\tmissing.dll") + command("OLE:REGISTER\tnoentry.dll") +
                     command("OLE:REGISTER\tfails.dll") + command("OLE:REGISTER\tone.dll") +
                     command("TEXT:after")));
    EXPECT_STREQ("after", state_->text);
    EXPECT_EQ("$0 Translates to 'C:\\Program Files\\'\n"
              "OLE: REGISTER '" +
                  dir + "missing.dll'\nError attempting to load '" + dir +
                  "missing.dll' (0x0000007E)\n"
                  "OLE: REGISTER '" +
                  dir + "noentry.dll'\nCouldn't get entry point from '" + dir +
                  "noentry.dll'\n"
                  "OLE: REGISTER '" +
                  dir + "fails.dll'\nFailed in executing entry point from '" + dir +
                  "fails.dll'\n"
                  "OLE: REGISTER '" +
                  dir + "one.dll'\n" + summary("", "", 0, dir, "Acme\\"),
              log());
}

TEST_F(Components, RegisterComponentTellsTheOutcome) {
    library_fake_add("C:\\ok.dll", {true, true, 1});
    library_fake_add("C:\\bad.dll", {true, true, -1});
    EXPECT_EQ(1, register_component("C:\\ok.dll", COMPONENT_REGISTER));
    EXPECT_EQ(1, register_component("C:\\ok.dll", COMPONENT_UNREGISTER));
    EXPECT_EQ(0, register_component("C:\\bad.dll", COMPONENT_UNREGISTER));
    EXPECT_EQ(0, register_component("C:\\none.dll", COMPONENT_UNREGISTER));
}

TEST_F(Components, OtherRunModesNeitherLoadNorLog) {
    library_fake_add(g_system + "comp.ocx", {true, true, 0});
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        ASSERT_EQ(1, run(command("OLE:REGISTER\t$2comp.ocx") + command("TEXT:after"), mode));
        EXPECT_STREQ("after", state_->text);
    }
    EXPECT_TRUE(library_fake_calls().empty());
    EXPECT_EQ(std::string::npos, log().find("OLE:"));
}

TEST_F(Components, NamesThatDoNotFitAreNotLoaded) {
    std::string longer(150, 'n');
    ASSERT_EQ(1, run(command("OLE:REGISTER\t$2" + longer) + command("OLE:REGISTER\tx.dll") +
                     command("TEXT:after")));
    EXPECT_TRUE(library_fake_calls().empty());
    EXPECT_STREQ("after", state_->text);
    EXPECT_NE(std::string::npos, log().find("Path too long '" + g_system + "nnn"));
    EXPECT_NE(std::string::npos, log().find("OLE: REGISTER 'x.dll'\nNot a full path 'x.dll'\n"));
}

} // namespace
