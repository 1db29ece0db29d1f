#include "fakes/flows_fake.h"

#include "registration/registration.h"
#include "update/update.h"

namespace {

int g_result = 1;
std::vector<FlowRun> g_runs;

} // namespace

void flows_fake_reset(int registration_result) {
    g_result = registration_result;
    g_runs.clear();
}

const std::vector<FlowRun>& flows_fake_runs() {
    return g_runs;
}

int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state) {
    g_runs.push_back({owner_window, state, std::string(question) + "|" + url + "|" + record_text});
    return g_result;
}

int update_run(void* owner_window, InstallState* state) {
    g_runs.push_back({owner_window, state, "update"});
    return 1;
}
