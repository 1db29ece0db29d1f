// Stand-ins for the registration and update flows that the script hands
// over to: each run is only recorded.
#pragma once

#include <string>
#include <vector>

struct InstallState;

struct FlowRun {
    void* owner_window;
    InstallState* state;
    std::string texts; // "update", or a registration's "question|url|record text"
};

// Forgets every run; registrations report `registration_result` from now on.
void flows_fake_reset(int registration_result = 1);
const std::vector<FlowRun>& flows_fake_runs();
