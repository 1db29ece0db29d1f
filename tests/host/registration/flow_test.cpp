// The registration flow with the user, the machine, the registry and the
// server played by stand-ins: the question, the form, the attempts in their
// phases, and what a success leaves behind.
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

std::string g_dialogs;      // the dialogs opened, in order
int g_form_result;          // what the form ends with; the verification ends with 1
std::vector<int> g_results; // of the attempts in order, then 0
std::string g_attempts;     // "P" through the proxy, "D" directly, per attempt
std::string g_record;       // unscrambled, as the last attempt carried it

std::string stored(const char* path, const char* name) {
    RegKey key = nullptr;
    char text[REG_DATA_SIZE] = "<none>";
    if (reg_open_key(&key, REG_ROOT_CURRENT_USER, path)) {
        reg_get_string(key, name, text, sizeof text);
        reg_close_key(&key);
    }
    return text;
}

} // namespace

int registration_form_show(WindowHandle) {
    g_dialogs += "form ";
    g_registrant = sample_registrant(UPDATES_YES);
    registrant_save();
    return g_form_result;
}

int email_verify_show(WindowHandle) {
    g_dialogs += "verify ";
    return 1;
}

int sysinfo_gather(SysinfoFacts* facts) {
    *facts = SysinfoFacts();
    return 1;
}

int registration_submit(const char*, int use_proxy, const unsigned char* record, int count) {
    g_record.assign(reinterpret_cast<const char*>(record), static_cast<size_t>(count));
    registration_scramble(reinterpret_cast<unsigned char*>(&g_record[0]), count);
    size_t attempt = g_attempts.size();
    g_attempts += use_proxy ? "P" : "D";
    return attempt < g_results.size() ? g_results[attempt] : 0;
}

namespace {

const char g_caption[] = "Acme Tool Registration...";
const char g_retry[] =
    "There was a problem sending your registration, would you like to try again?";

TEST(RegistrationFlow, AttemptsInTheirPhasesAndWhatASuccessLeaves) {
    struct Case {
        int form;
        std::vector<int> answers, results; // to the questions; of the attempts
        int result;
        const char *attempts, *log, *boxes;
    } cases[] = {
        {1, {0}, {}, 0, "", "", "?"},
        {0, {1}, {}, 0, "", "", "?"},
        {1, {1}, {1}, 1, "P", "0", "?!"},
        {1, {1}, {0, 1}, 1, "PD", "01", "?!"},
        {1, {1, 0}, {0, 0}, 0, "PD", "012", "?R"},
        {1, {1, 1, 0}, {0, 0, 0}, 0, "PDD", "01212", "?RR"},
        {1, {1, 1, 1}, {0, 0, 0, 1}, 1, "PDDD", "012121", "?RR!"},
    };
    for (const Case& c : cases) {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        registry_fake_reset();
        message_fake_reset(0);
        message_fake_answers(c.answers);
        window_fake_reset();
        registrant_clear();
        g_dialogs.clear();
        g_attempts.clear();
        g_form_result = c.form;
        g_results = c.results;
        InstallState state = sample_install_state();
        strcpy(state.registry_path, "Software\\Acme\\Tool");
        std::string path = open_test_log("registration_flow.log", LOG_FILE);
        EXPECT_EQ(c.result, registration_run(nullptr, "Register Acme Tool now?",
                                             "http://127.0.0.1:8080/register", "Free", &state));
        log_close();
        EXPECT_EQ(c.attempts, g_attempts) << c.attempts;
        std::string expected_log = "";
        if (c.log[0] != '\0') {
            expected_log = "Send registration to 'http://127.0.0.1:8080/register' (" +
                           std::to_string(g_record.size()) + ")\n";
        }
        for (const char* phase = c.log; *phase != '\0'; ++phase) {
            expected_log += std::string("Submission on phase ") + *phase + "\n";
        }
        EXPECT_EQ(expected_log, read_file(path));
        std::string boxes;
        for (const MessageCall& call : message_fake_calls()) {
            EXPECT_EQ(g_caption, call.caption);
            boxes += call.text == "Register Acme Tool now?" ? "?"
                     : call.text == g_retry                 ? "R"
                     : call.text == "Your registration has been successfully sent!  Thank you!"
                         ? "!"
                         : call.text;
        }
        EXPECT_EQ(c.boxes, boxes) << c.attempts;
        EXPECT_EQ(c.result ? "2.0" : "<none>",
                  stored("Software\\Acme\\Tool", "Registered Version"));
        if (c.form && c.answers[0]) {
            // Stored by the form, and "Yes" turned into "already subscribed" by a success.
            EXPECT_EQ("Jo", stored("Software\\Pelmora\\Installer", "First Name"));
            EXPECT_EQ(c.result ? UPDATES_ALREADY : UPDATES_YES, g_registrant.update_choice);
            EXPECT_EQ("form verify ", g_dialogs);
            EXPECT_NE(std::string::npos, g_record.find("\x02"
                                                       "002Free\x02"
                                                       "100REG\x02"
                                                       "101Acme"));
            EXPECT_EQ(3u, window_fake_events().size()); // the progress window shown and hidden
        }
        EXPECT_EQ(0, registry_fake_open_keys());
    }
}

} // namespace
