#include "fakes/dialogs_fake.h"

#include "registration/dialogs.h"

namespace {

std::vector<DialogStep> g_steps;
size_t g_next = 0;
std::vector<std::string> g_opened;

int show(const std::string& dialog) {
    if (g_next >= g_steps.size() || g_steps[g_next].dialog != dialog) {
        g_opened.push_back("unexpected " + dialog);
        return 0;
    }
    const DialogStep& step = g_steps[g_next++];
    g_opened.push_back(dialog);
    if (step.user) {
        step.user();
    }
    return step.result;
}

} // namespace

void dialogs_fake_reset(const std::vector<DialogStep>& steps) {
    g_steps = steps;
    g_next = 0;
    g_opened.clear();
}

const std::vector<std::string>& dialogs_fake_opened() {
    return g_opened;
}

int registration_form_show(WindowHandle) {
    return show("form");
}

int email_verify_show(WindowHandle) {
    return show("verify");
}
