// Stand-in for registration/registration.h's flow: the script tests see only
// that REGISTER handed it the right texts, and choose what it reports.
#pragma once

#include <string>
#include <vector>

struct InstallState;

struct RegistrationRunCall {
    void* owner_window;
    std::string question;
    std::string url;
    std::string record_text;
    InstallState* state;
};

// Every later run reports `result` and is recorded.
void registration_fake_reset(int result);
const std::vector<RegistrationRunCall>& registration_fake_calls();
