// The registration flow, with the test playing the dialogs, the machine and
// the server: the question, the attempts in their phases and their log lines.
// What the registry keeps and what the server reads are checked in the
// registration scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "fakes/message_fake.h"
#include "fakes/registry_fake.h"
#include "platform/registry.h"
#include "registration/dialogs.h"
#include "registration/registration.h"
#include "registration/registration_samples.h"
#include "registration/submit.h"
#include "registration/sysinfo.h"
#include "support/log_file.h"

namespace {
int g_form;                 // what the form ends with, after the user filled it
std::vector<int> g_results; // of the attempts in order, then 0
std::string g_attempts;     // "P" through the proxy, "D" directly, per attempt
std::string g_record;       // the last attempt's record
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
    g_attempts += use_proxy ? "P" : "D";
    return g_attempts.size() <= g_results.size() ? g_results[g_attempts.size() - 1] : 0;
}

namespace {

const char g_retry[] =
    "There was a problem sending your registration, would you like to try again?";
const char g_thanks[] = "Your registration has been successfully sent!  Thank you!";

TEST(RegistrationFlow, AttemptsInTheirPhasesTheirLogLinesAndQuestions) {
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
        ASSERT_EQ(strlen(c.boxes), message_fake_calls().size());
        for (size_t i = 0; i < strlen(c.boxes); ++i) {
            EXPECT_EQ(c.boxes[i] == '?'   ? "Register?"
                      : c.boxes[i] == 'R' ? g_retry
                                          : g_thanks,
                      message_fake_calls()[i].text);
            EXPECT_EQ("Acme Tool Registration...", message_fake_calls()[i].caption);
        }
        // A success turns "Yes" into "already subscribed".
        EXPECT_EQ(success ? UPDATES_ALREADY : UPDATES_YES, g_registrant.update_choice);
        EXPECT_EQ(success, reg_key_exists(REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool"));
        EXPECT_EQ(0, registry_fake_open_keys());
    }
}

} // namespace
