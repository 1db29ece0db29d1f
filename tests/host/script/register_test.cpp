// REGISTER on the fake flow, and what its outcome means for DONE.
#include <gtest/gtest.h>

#include <string>

#include "fakes/registration_fake.h"
#include "script/uninstall_fixture.h"

namespace {

const std::string g_register =
    UninstallTest::command("REGISTER:http://127.0.0.1/r\tTool 1.0\tRegister now?");

class Register : public UninstallTest {
  protected:
    void SetUp() override {
        UninstallTest::SetUp();
        registration_fake_reset(1);
    }
};

TEST_F(Register, TheRegistrationModesRunTheFlowWithTheThreeTexts) {
    for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER}) {
        registration_fake_reset(1);
        ASSERT_EQ(1,
                  run(command("TEXT:Thanks") + g_register + command("PRODUCT NAME:after"), mode));
        ASSERT_EQ(1u, registration_fake_calls().size()) << mode;
        const RegistrationRunCall& call = registration_fake_calls()[0];
        EXPECT_EQ(nullptr, call.owner_window);
        EXPECT_EQ("Register now?", call.question);
        EXPECT_EQ("http://127.0.0.1/r", call.url);
        EXPECT_EQ("Tool 1.0", call.record_text);
        EXPECT_EQ(state_, call.state);
        EXPECT_EQ(mode, state_->run_mode) << "a registration that went through keeps the mode";
        EXPECT_STREQ("", state_->text);
        EXPECT_STREQ("after", state_->product_name);
    }
}

TEST_F(Register, OtherModesOnlyTakeTheTextsAndEmptyTheText) {
    for (int mode : {RUN_UNINSTALL, RUN_UPDATE, RUN_NONE}) {
        ASSERT_EQ(1,
                  run(command("TEXT:Thanks") + g_register + command("PRODUCT NAME:after"), mode));
        EXPECT_TRUE(registration_fake_calls().empty()) << mode;
        EXPECT_EQ(mode, state_->run_mode);
        EXPECT_STREQ("", state_->text);
        EXPECT_STREQ("after", state_->product_name);
    }
}

TEST_F(Register, LongTextsReachTheFlowCutTo159Characters) {
    std::string longer(300, 'q');
    ASSERT_EQ(1, run(command("REGISTER:" + longer + "\t" + longer + "\t" + longer) +
                         command("TEXT:after"),
                     RUN_REGISTER_STANDALONE));
    ASSERT_EQ(1u, registration_fake_calls().size());
    EXPECT_EQ(std::string(159, 'q'), registration_fake_calls()[0].url);
    EXPECT_EQ(std::string(159, 'q'), registration_fake_calls()[0].record_text);
    EXPECT_EQ(std::string(159, 'q'), registration_fake_calls()[0].question);
    EXPECT_STREQ("after", state_->text);
}

// DONE removes the "-Register" shortcut only when the registration went through.
TEST_F(Register, AFailedRegistrationStopsTheModeAndKeepsTheShortcut) {
    const std::string shortcut = "C:\\Users\\Ann\\Start Menu\\Programs\\Acme Tool\\Register.lnk";
    std::string script = command("CREATE GROUP:Acme Tool") +
                         command("ADD ITEM:3\tu.exe\t-Register\tRegister") + g_register +
                         command("DONE:");
    for (int result : {0, 1}) {
        for (int mode : {RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER}) {
            files_fake_reset();
            files_fake_add_file(shortcut);
            registration_fake_reset(result);
            ASSERT_EQ(1, run(script, mode));
            EXPECT_EQ(result ? mode : RUN_NONE, state_->run_mode);
            EXPECT_EQ(result == 0, files_fake_exists(shortcut)) << result << " " << mode;
        }
    }
}

} // namespace
