// The registration flow's attempts through the proxy and directly, the test playing the
// dialogs, machine and server; its boxes, log, registry and requests are the scenarios'.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "fakes/message_fake.h"
#include "fakes/registry_fake.h"
#include "platform/registry.h"
#include "registration/dialogs.h"
#include "registration/registration.h"
#include "registration/registration_samples.h"
#include "registration/submit.h"
#include "registration/sysinfo.h"

namespace {
int g_form;                 // 0 declined, else the update choice the user registered with
std::vector<int> g_results; // of the attempts in order, then 0
std::string g_attempts;     // "V" the e-mail verification, "P" through the proxy, "D" directly
} // namespace

int registration_form_show(WindowHandle) {
    g_registrant = sample_registrant(g_form ? g_form : UPDATES_YES);
    return registrant_save() && g_form;
}
int email_verify_show(WindowHandle) {
    g_attempts += "V";
    return 1;
}
int sysinfo_gather(SysinfoFacts* facts) {
    *facts = SysinfoFacts();
    return 1;
}
int registration_submit(const char*, int use_proxy, const unsigned char*, int) {
    g_attempts += use_proxy ? "P" : "D";
    size_t made = g_attempts.size() - g_attempts.find_first_not_of('V');
    return made <= g_results.size() ? g_results[made - 1] : 0;
}

namespace {

TEST(RegistrationFlow, ProxyThenDirectThenAskBeforeEachDirectAttempt) {
    // clang-format off
    const struct { int form; std::vector<int> answers, results; const char* attempts; int result; } cases[] = { // answers to the questions, results of the attempts
        {1, {0}, {}, "", 0}, {0, {1}, {}, "", 0}, {1, {1}, {1}, "VP", 1}, {1, {1}, {0, 1}, "VPD", 1},
        {1, {1, 0}, {0, 0}, "VPD", 0}, {1, {1, 1, 0}, {0, 0, 0}, "VPDD", 0}, {1, {1, 1, 1}, {0, 0, 0, 1}, "VPDDD", 1},
        {UPDATES_NO, {1}, {1}, "P", 1}}; // only a "Yes" to notices verifies the address
    // clang-format on
    for (const auto& c : cases) {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        registry_fake_reset();
        message_fake_reset(0, c.answers);
        g_form = c.form;
        g_results = c.results;
        g_attempts.clear();
        g_registrant = sample_registrant(UPDATES_YES);
        InstallState state = sample_install_state();
        strcpy(state.registry_path, "Software\\Acme\\Tool");
        EXPECT_EQ(c.result, registration_run(nullptr, "Register?", "http://h/r", "Free", &state));
        EXPECT_EQ(c.attempts, g_attempts);
        // A success turns "Yes" into "already subscribed".
        int choice = c.form ? c.form : UPDATES_YES;
        EXPECT_EQ(c.result && choice == UPDATES_YES ? UPDATES_ALREADY : choice,
                  g_registrant.update_choice);
        EXPECT_EQ(c.result, reg_key_exists(REG_ROOT_CURRENT_USER, "Software\\Acme\\Tool"));
        EXPECT_EQ(0, registry_fake_open_keys());
    }
}

} // namespace
