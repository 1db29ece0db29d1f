#include "fakes/message_fake.h"

#include "driver/message.h"

namespace {

std::vector<MessageCall> g_calls;
int g_confirm_answer = 1;
std::vector<int> g_answers;
size_t g_next_answer = 0;

int record(const char* kind, const char* text, const char* caption) {
    g_calls.push_back({kind, text ? text : "", caption != nullptr, caption ? caption : ""});
    return 1;
}

} // namespace

std::vector<MessageCall>& message_fake_calls() {
    return g_calls;
}

void message_fake_reset(int confirm_answer, const std::vector<int>& answers) {
    g_calls.clear();
    g_confirm_answer = confirm_answer;
    g_answers = answers;
    g_next_answer = 0;
}

int message_notify(const char* text, const char* caption) {
    return record("notify", text, caption);
}

int message_confirm(const char* text, const char* caption) {
    record("confirm", text, caption);
    return g_next_answer < g_answers.size() ? g_answers[g_next_answer++] : g_confirm_answer;
}
