#include "fakes/registration_fake.h"

#include "registration/registration.h"

namespace {

int g_result = 1;
std::vector<RegistrationRunCall> g_calls;

} // namespace

void registration_fake_reset(int result) {
    g_result = result;
    g_calls.clear();
}

const std::vector<RegistrationRunCall>& registration_fake_calls() {
    return g_calls;
}

int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state) {
    g_calls.push_back({owner_window, question, url, record_text, state});
    return g_result;
}
