#include "fakes/submit_fake.h"

#include "registration/submit.h"

namespace {

std::vector<int> g_results;
std::vector<SubmitCall> g_calls;

} // namespace

void submit_fake_reset(const std::vector<int>& results) {
    g_results = results;
    g_calls.clear();
}

const std::vector<SubmitCall>& submit_fake_calls() {
    return g_calls;
}

int registration_submit(const char* url, int use_proxy, const unsigned char* record, int count) {
    g_calls.push_back(
        {url, use_proxy,
         std::string(reinterpret_cast<const char*>(record), static_cast<size_t>(count))});
    size_t index = g_calls.size() - 1;
    return index < g_results.size() ? g_results[index] : 0;
}
