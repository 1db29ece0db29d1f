// The registration flow with the user, the machine, the registry and the
// server played by fakes: the question, the form and its verification, the
// record, the attempts in their phases, and what a success leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "driver/run_mode.h"
#include "fakes/dialogs_fake.h"
#include "fakes/message_fake.h"
#include "fakes/registry_fake.h"
#include "fakes/submit_fake.h"
#include "fakes/sysinfo_fake.h"
#include "fakes/window_fake.h"
#include "platform/registry.h"
#include "registration/form_check.h"
#include "registration/registrant.h"
#include "registration/registration.h"
#include "registration/registration_samples.h"
#include "registration/submission.h"
#include "registration/sysinfo.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

namespace {

const char g_url[] = "http://127.0.0.1:8080/register";
const char g_question[] = "Would you like to register Acme Tool now?";
const char g_caption[] = "Acme Tool Registration...";
const char g_thanks[] = "Your registration has been successfully sent!  Thank you!";
const char g_retry[] =
    "There was a problem sending your registration, would you like to try again?";

// What the form does when the user fills it and presses "Register Now!".
std::function<void()> user_registers(int choice) {
    return [choice] {
        g_registrant = sample_registrant(choice);
        strcpy(g_registrant.city, "   ");
        registrant_save();
    };
}

std::string stored(const char* path, const char* name) {
    RegKey key = nullptr;
    if (!reg_open_key(&key, REG_ROOT_CURRENT_USER, path)) {
        return "<no key>";
    }
    char text[REG_DATA_SIZE] = "<no value>";
    reg_get_string(key, name, text, sizeof text);
    reg_close_key(&key);
    return text;
}

int stored_choice() {
    RegKey key = nullptr;
    int choice = -1;
    if (reg_open_key(&key, REG_ROOT_CURRENT_USER, "Software\\Pelmora\\Installer")) {
        reg_get_integer(key, "ListServer", &choice);
        reg_close_key(&key);
    }
    return choice;
}

class RegistrationFlow : public testing::Test {
  protected:
    void SetUp() override {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        registry_fake_reset();
        // Yes to the question; No to any further one, so that no case can loop.
        message_fake_reset(0);
        message_fake_answers({1});
        window_fake_reset();
        submit_fake_reset({1});
        registrant_clear();
        SysinfoFacts& facts = sysinfo_fake_facts();
        facts = SysinfoFacts();
        strcpy(facts.host_name, "desk");
        facts.screen_width = 800;
        facts.screen_height = 600;
        facts.bits_per_pixel = 8;
        facts.physical_bytes = 64u << 20;
        state_ = sample_install_state();
        strcpy(state_.registry_path, "Software\\Acme\\Tool");
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
    }
    void TearDown() override {
        log_close();
        EXPECT_EQ(0, registry_fake_open_keys());
    }

    int run() { return registration_run(nullptr, g_question, g_url, "Free text", &state_); }

    // The record as it left, unscrambled.
    static std::string sent(size_t attempt = 0) {
        std::string record = submit_fake_calls().at(attempt).record;
        registration_scramble(reinterpret_cast<unsigned char*>(&record[0]),
                              static_cast<int>(record.size()));
        return record;
    }

    // The record the flow must build for the state and the details as the user
    // left them in the form.
    std::string expected_record(int choice) {
        RegistrantDetails details = g_registrant;
        details.update_choice = choice;
        std::vector<char> buffer(REGISTRATION_RECORD_SIZE);
        int length = 0;
        sysinfo_format(&state_, "Free text", &details, &sysinfo_fake_facts(), buffer.data(),
                       static_cast<int>(buffer.size()), &length);
        return std::string(buffer.data(), static_cast<size_t>(length));
    }

    std::vector<int> proxy_flags() {
        std::vector<int> flags;
        for (const SubmitCall& call : submit_fake_calls()) {
            flags.push_back(call.use_proxy);
        }
        return flags;
    }

    std::string log() { return read_file(log_path_); }

    std::string phases() {
        std::string all = log();
        std::string phases;
        for (size_t at = all.find("Submission on phase "); at != std::string::npos;
             at = all.find("Submission on phase ", at + 1)) {
            phases += all[at + 20];
        }
        return phases;
    }

    InstallState state_;
    std::string log_path_;
};

TEST_F(RegistrationFlow, NoToTheQuestionEndsBeforeAnything) {
    message_fake_answers({0});
    dialogs_fake_reset({});
    EXPECT_EQ(0, run());
    ASSERT_EQ(1u, message_fake_calls().size());
    EXPECT_EQ("confirm", message_fake_calls()[0].kind);
    EXPECT_EQ(g_question, message_fake_calls()[0].text);
    EXPECT_EQ(g_caption, message_fake_calls()[0].caption);
    EXPECT_TRUE(dialogs_fake_opened().empty());
    EXPECT_TRUE(submit_fake_calls().empty());
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_CURRENT_USER, "Software\\Pelmora\\Installer"));
    EXPECT_STREQ("", state_.text);
    EXPECT_TRUE(window_fake_events().empty());
}

TEST_F(RegistrationFlow, AcceptedThroughTheProxyOnTheFirstAttempt) {
    dialogs_fake_reset({{"form", 1, user_registers(UPDATES_YES)}, {"verify", 1, {}}});
    EXPECT_EQ(1, run());
    EXPECT_EQ((std::vector<std::string>{"form", "verify"}), dialogs_fake_opened());
    EXPECT_EQ(std::vector<int>{1}, proxy_flags());
    EXPECT_EQ(g_url, submit_fake_calls()[0].url);
    EXPECT_STREQ("REG", state_.text) << "a script without TEXT sends REG";
    EXPECT_EQ(expected_record(UPDATES_YES), sent());
    EXPECT_NE(std::string::npos, sent().find("\x02"
                                             "100REG\x02"
                                             "101Acme"));
    EXPECT_EQ("Send registration to '" + std::string(g_url) + "' (" +
                  std::to_string(sent().size()) + ")\nSubmission on phase 0\n",
              log());
    // Details stored by the form, then the choice turned into "already subscribed".
    EXPECT_EQ("Jo", stored("Software\\Pelmora\\Installer", "First Name"));
    EXPECT_EQ(UPDATES_ALREADY, stored_choice());
    EXPECT_EQ(UPDATES_ALREADY, g_registrant.update_choice);
    EXPECT_EQ("2.0", stored("Software\\Acme\\Tool", "Registered Version"));
    ASSERT_EQ(2u, message_fake_calls().size());
    EXPECT_EQ("notify", message_fake_calls()[1].kind);
    EXPECT_EQ(g_thanks, message_fake_calls()[1].text);
    EXPECT_EQ(g_caption, message_fake_calls()[1].caption);
    const std::vector<ProgressEvent>& events = window_fake_events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(ProgressEvent::UPDATE, events[0].kind);
    EXPECT_EQ(0.0, events[0].percentage);
    EXPECT_EQ(ProgressEvent::SHOW, events[1].kind);
    EXPECT_EQ(1, events[1].flag);
    EXPECT_EQ(ProgressEvent::SHOW, events[2].kind);
    EXPECT_EQ(0, events[2].flag);
}

TEST_F(RegistrationFlow, PhasesAndTheQuestionAfterTheDirectAttempt) {
    struct Case {
        std::vector<int> results; // of the attempts in order
        std::vector<int> answers; // to the question, then to each retry question
        int result;
        std::vector<int> flags;
        const char* phases;
        int retry_questions;
    } cases[] = {
        {{1}, {1}, 1, {1}, "0", 0},
        {{0, 1}, {1}, 1, {1, 0}, "01", 0},
        {{0, 0}, {1, 0}, 0, {1, 0}, "012", 1},
        {{0, 0, 1}, {1, 1}, 1, {1, 0, 0}, "0121", 1},
        {{0, 0, 0}, {1, 1, 0}, 0, {1, 0, 0}, "01212", 2},
        {{0, 0, 0, 0, 1}, {1, 1, 1, 1}, 1, {1, 0, 0, 0, 0}, "01212121", 3},
    };
    for (const Case& c : cases) {
        submit_fake_reset(c.results);
        message_fake_answers(c.answers);
        dialogs_fake_reset({{"form", 1, user_registers(UPDATES_NO)}});
        EXPECT_EQ(c.result, run()) << c.phases;
        EXPECT_EQ(c.flags, proxy_flags()) << c.phases;
        EXPECT_EQ(c.phases, phases());
        int retries = 0;
        for (const MessageCall& call : message_fake_calls()) {
            if (call.text == g_retry) {
                EXPECT_EQ(g_caption, call.caption);
                ++retries;
            }
        }
        EXPECT_EQ(c.retry_questions, retries) << c.phases;
        EXPECT_EQ(c.result ? "2.0" : "<no key>",
                  stored("Software\\Acme\\Tool", "Registered Version"));
        EXPECT_EQ(c.result, message_fake_calls().back().text == g_thanks ? 1 : 0) << c.phases;
        for (size_t i = 1; i < submit_fake_calls().size(); ++i) {
            EXPECT_EQ(submit_fake_calls()[0].record, submit_fake_calls()[i].record);
        }
        // The form stored the details whatever the outcome.
        EXPECT_EQ("Jo", stored("Software\\Pelmora\\Installer", "First Name"));
        EXPECT_EQ(UPDATES_NO, stored_choice());
        TearDown();
        SetUp();
    }
}

TEST_F(RegistrationFlow, CancelledVerificationOpensTheFormAgainAsLeft) {
    dialogs_fake_reset({{"form", 1, user_registers(UPDATES_YES)},
                        {"verify", 0, {}},
                        {"form", 1, {}},
                        {"verify", 1, {}}});
    EXPECT_EQ(1, run());
    EXPECT_EQ((std::vector<std::string>{"form", "verify", "form", "verify"}),
              dialogs_fake_opened());
    EXPECT_NE(std::string::npos, sent().find("\x02"
                                             "200Jo\x02"
                                             "201Smith"));
}

TEST_F(RegistrationFlow, OnlyTheYesChoiceIsVerified) {
    for (int choice : {UPDATES_NO, UPDATES_ALREADY}) {
        dialogs_fake_reset({{"form", 1, user_registers(choice)}});
        EXPECT_EQ(1, run());
        EXPECT_EQ(std::vector<std::string>{"form"}, dialogs_fake_opened());
        EXPECT_EQ(choice, stored_choice());
        TearDown();
        SetUp();
    }
}

TEST_F(RegistrationFlow, ADeclinedOrFailedFormSendsNothing) {
    for (int result : {0, -1}) {
        dialogs_fake_reset({{"form", result, {}}});
        EXPECT_EQ(0, run());
        EXPECT_TRUE(submit_fake_calls().empty());
        EXPECT_TRUE(window_fake_events().empty());
        // Loading made sure the key exists, with the empty record.
        EXPECT_EQ("", stored("Software\\Pelmora\\Installer", "First Name"));
        EXPECT_EQ(0, stored_choice());
        TearDown();
        SetUp();
    }
}

TEST_F(RegistrationFlow, StoredDetailsAreLoadedBeforeTheForm) {
    user_registers(UPDATES_ALREADY)();
    registrant_clear();
    dialogs_fake_reset({{"form", 1, [] {
                             EXPECT_STREQ("Jo", g_registrant.first_name);
                             EXPECT_EQ(UPDATES_ALREADY, g_registrant.update_choice);
                         }}});
    EXPECT_EQ(1, run());
}

TEST_F(RegistrationFlow, WhatTheScriptGaveDecidesTheRest) {
    // A TEXT from the script is sent as it is.
    strcpy(state_.text, "Setup 2");
    dialogs_fake_reset({{"form", 1, user_registers(UPDATES_YES)}, {"verify", 1, {}}});
    EXPECT_EQ(1, run());
    EXPECT_NE(std::string::npos, sent().find("\x02"
                                             "100Setup 2\x02"));

    // Without a mailing list the choice stays "Yes"; without a product key no
    // version is noted, but the user is still thanked.
    TearDown();
    SetUp();
    state_.list_server_name[0] = '\0';
    state_.registry_path[0] = '\0';
    dialogs_fake_reset({{"form", 1, user_registers(UPDATES_YES)}, {"verify", 1, {}}});
    EXPECT_EQ(1, run());
    EXPECT_EQ(UPDATES_YES, stored_choice());
    EXPECT_EQ(g_thanks, message_fake_calls().back().text);
    EXPECT_EQ(0, reg_key_exists(REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool"));
}

TEST_F(RegistrationFlow, TheVersionGoesIntoAnExistingProductKey) {
    RegKey key = nullptr;
    ASSERT_EQ(1, reg_create_key(&key, REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool"));
    reg_set_string(key, "Install Path", "C:\\Acme\\Tool\\");
    reg_close_key(&key);
    dialogs_fake_reset({{"form", 1, user_registers(UPDATES_NO)}});
    EXPECT_EQ(1, run());
    EXPECT_EQ("2.0", stored("Software\\Acme\\Tool", "Registered Version"));
    EXPECT_EQ("C:\\Acme\\Tool\\", stored("Software\\Acme\\Tool", "Install Path"));
}

} // namespace
