// The registration flow, with the test playing the dialogs, the machine and
// the server: the question, the attempts in their phases, what a success leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "fakes/message_fake.h"
#include "fakes/registry_fake.h"
#include "fakes/window_fake.h"
#include "platform/registry.h"
#include "registration/dialogs.h"
#include "registration/registration.h"
#include "registration/registration_samples.h"
#include "registration/submission.h"
#include "registration/submit.h"
#include "registration/sysinfo.h"
#include "support/log_file.h"

namespace {
int g_form;                 // what the form ends with, after the user filled it
std::vector<int> g_results; // of the attempts in order, then 0
std::string g_attempts;     // "P" through the proxy, "D" directly, per attempt
std::string g_record;       // the last attempt's record, unscrambled
} // namespace

int registration_form_show(WindowHandle) {
    g_registrant = sample_registrant(UPDATES_YES);
    return registrant_save() && g_form;
}
int email_verify_show(WindowHandle) {
    return 1;
}
int sysinfo_gather(SysinfoFacts* facts) {
    *facts = SysinfoFacts();
    return 1;
}
int registration_submit(const char*, int use_proxy, const unsigned char* record, int count) {
    g_record.assign(reinterpret_cast<const char*>(record), static_cast<size_t>(count));
    registration_scramble(reinterpret_cast<unsigned char*>(&g_record[0]), count);
    g_attempts += use_proxy ? "P" : "D";
    return g_attempts.size() <= g_results.size() ? g_results[g_attempts.size() - 1] : 0;
}

namespace {

TEST(RegistrationFlow, AttemptsInTheirPhasesAndWhatASuccessLeaves) {
    struct Case {
        int form;
        std::vector<int> answers, results; // to the questions; of the attempts
        const char *attempts, *phases, *boxes;
    } cases[] = {
        // clang-format off
        {1, {0}, {}, "", "", "?"}, {0, {1}, {}, "", "", "?"}, {1, {1}, {1}, "P", "0", "?!"},
        {1, {1}, {0, 1}, "PD", "01", "?!"}, {1, {1, 0}, {0, 0}, "PD", "012", "?R"},
        {1, {1, 1, 0}, {0, 0, 0}, "PDD", "01212", "?RR"}, {1, {1, 1, 1}, {0, 0, 0, 1}, "PDDD", "012121", "?RR!"},
        // clang-format on
    };
    for (const Case& c : cases) {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        registry_fake_reset();
        message_fake_reset(0);
        message_fake_answers(c.answers);
        window_fake_reset();
        g_form = c.form;
        g_results = c.results;
        g_attempts.clear();
        g_registrant = sample_registrant(UPDATES_YES);
        InstallState state = sample_install_state();
        strcpy(state.registry_path, "Software\\Acme\\Tool");
        std::string path = open_test_log("registration_flow.log", LOG_FILE);
        int success = std::string(c.boxes).back() == '!';
        EXPECT_EQ(success, registration_run(nullptr, "Register?", "http://h/r", "Free", &state));
        log_close();
        EXPECT_EQ(c.attempts, g_attempts);
        std::string log = c.phases[0] ? "Send registration to 'http://h/r' (" +
                                            std::to_string(g_record.size()) + ")\n"
                                      : "";
        for (const char* phase = c.phases; *phase != '\0'; ++phase) {
            log += std::string("Submission on phase ") + *phase + "\n";
        }
        EXPECT_EQ(log, read_file(path));
        std::string boxes;
        for (const MessageCall& call : message_fake_calls()) {
            EXPECT_EQ("Acme Tool Registration...", call.caption);
            boxes += call.text == "Register?" ? "?"
                     : call.text == "There was a problem sending your registration, would you "
                                    "like to try again?"
                         ? "R"
                     : call.text == "Your registration has been successfully sent!  Thank you!"
                         ? "!"
                         : call.text;
        }
        EXPECT_EQ(c.boxes, boxes) << c.attempts;
        RegKey key = nullptr;
        char version[REG_DATA_SIZE] = "";
        if (reg_open_key(&key, REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool")) {
            reg_get_string(key, "Registered Version", version, sizeof version);
            reg_close_key(&key);
        }
        EXPECT_STREQ(success ? "2.0" : "", version);
        // A success turns "Yes" into "already subscribed"; the progress window came and went.
        EXPECT_EQ(success ? UPDATES_ALREADY : UPDATES_YES, g_registrant.update_choice);
        EXPECT_EQ(c.phases[0] ? 3u : 0u, window_fake_events().size());
        if (c.phases[0]) {
            EXPECT_NE(std::string::npos, g_record.find("\002002Free\002100REG\002101Acme"));
        }
        EXPECT_EQ(0, registry_fake_open_keys());
    }
}

} // namespace
