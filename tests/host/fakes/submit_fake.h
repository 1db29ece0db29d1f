// Stand-in for registration_submit (registration/submit.h): every attempt is
// recorded with the record it carried, and answers from a list.
#pragma once

#include <string>
#include <vector>

struct SubmitCall {
    std::string url;
    int use_proxy;
    std::string record; // the scrambled bytes as given
};

// Attempts answer `results` in order, then 0.
void submit_fake_reset(const std::vector<int>& results);
const std::vector<SubmitCall>& submit_fake_calls();
