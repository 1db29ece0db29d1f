// Stand-in for registration/dialogs.h: each dialog "shown" runs the next
// scripted step, which may edit the registrant's details as a user would,
// and ends with the step's result.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct DialogStep {
    std::string dialog; // "form" or "verify": which dialog the flow must open
    int result;
    std::function<void()> user; // what the user does in it, or empty
};

void dialogs_fake_reset(const std::vector<DialogStep>& steps);

// The dialogs opened so far, in order; a dialog beyond the script is
// recorded as "unexpected form" or "unexpected verify" and ends with 0.
const std::vector<std::string>& dialogs_fake_opened();
