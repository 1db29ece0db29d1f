#include <gtest/gtest.h>

#include <string>

#include "fakes/update_fake.h"
#include "script/script_fixture.h"

namespace {

class DoneUpdate : public ScriptTest {
  protected:
    void SetUp() override {
        ScriptTest::SetUp();
        update_fake_calls().clear();
    }
};

TEST_F(DoneUpdate, OnlyTheUpdateRunChecksForUpdatesAtDone) {
    std::string script = "\x16UPDATE URL:http://127.0.0.1/info\r\n"
                         "\x16"
                         "DONE:Removed\r\n"
                         "\x16TEXT:after\r\n";
    for (int mode :
         {RUN_UNINSTALL, RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_NONE, RUN_UPDATE}) {
        update_fake_calls().clear();
        ASSERT_EQ(1, run(script, mode)) << mode;
        EXPECT_STREQ("after", state_->text) << "DONE read its argument in step";
        if (mode == RUN_UPDATE) {
            ASSERT_EQ(1u, update_fake_calls().size());
            EXPECT_EQ(state_, update_fake_calls()[0].state);
            EXPECT_EQ(nullptr, update_fake_calls()[0].owner_window);
        } else {
            EXPECT_TRUE(update_fake_calls().empty()) << mode;
        }
    }
}

} // namespace
