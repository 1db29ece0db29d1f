#include "core/log.h"
#include "core/text.h"
#include "registration/submit.h"

int registration_reply_accepted(const char* reply, int searched, int length) {
    CORE_ASSERT_POINTER(reply);
    const char* word = REGISTRATION_ACCEPTED_WORD;
    int word_length = text_length(word);
    int start = searched - (word_length - 1);
    for (int at = start < 0 ? 0 : start; at + word_length <= length; ++at) {
        // The word holds no zero byte, so the comparison never stops early.
        if (text_compare_n_nocase(reply + at, word, word_length)) {
            return 1;
        }
    }
    return 0;
}
