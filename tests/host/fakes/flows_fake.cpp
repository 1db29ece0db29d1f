#include "fakes/script_fakes.h"
#include "registration/registration.h"
#include "update/update.h"

int flows_fake_registration_result = 1;

std::vector<FlowRun>& flows_fake_runs() {
    static std::vector<FlowRun> runs;
    return runs;
}

int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state) {
    flows_fake_runs().push_back(
        {owner_window, state, std::string(question) + "|" + url + "|" + record_text});
    return flows_fake_registration_result;
}

int update_run(void* owner_window, InstallState* state) {
    flows_fake_runs().push_back({owner_window, state, "update"});
    return 1;
}
