#include "fakes/flows_fake.h"

#include "registration/registration.h"
#include "update/update.h"

namespace {

int g_result = 1;
std::vector<FlowRun> g_registrations;
std::vector<FlowRun> g_updates;

} // namespace

void flows_fake_reset(int registration_result) {
    g_result = registration_result;
    g_registrations.clear();
    g_updates.clear();
}

const std::vector<FlowRun>& registration_fake_runs() {
    return g_registrations;
}

const std::vector<FlowRun>& update_fake_runs() {
    return g_updates;
}

int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state) {
    g_registrations.push_back(
        {owner_window, state, std::string(question) + "|" + url + "|" + record_text});
    return g_result;
}

int update_run(void* owner_window, InstallState* state) {
    g_updates.push_back({owner_window, state, ""});
    return 1;
}
