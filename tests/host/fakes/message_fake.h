// Recording stand-in for driver/message.h: the host has no boxes; the test reads them here.
#pragma once

#include <string>
#include <vector>

struct MessageCall {
    std::string kind; // "notify" or "confirm"
    std::string text;
    bool has_caption; // false when the caller passed null (the default caption)
    std::string caption;
};

std::vector<MessageCall>& message_fake_calls();

// Forgets the calls; the next questions answer `answers` in order, then `confirm_answer`.
void message_fake_reset(int confirm_answer = 1, const std::vector<int>& answers = {});
