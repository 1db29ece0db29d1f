// One attempt to post the scrambled record: the body, the request through the
// HTTP layer, and the reply read until the server closes it.
#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "driver/identity.h"
#include "net/http.h"
#include "platform/window.h"
#include "registration/submission.h"
#include "registration/submit.h"

namespace {

// Reads until the server closes the connection or the word has come; the
// word may arrive split across two pieces. One byte of the buffer stays free
// for the zero after the last piece, so a reply that fills the buffer ends
// the reading without the word.
int reply_accepted(HttpExchange* exchange, char* reply) {
    int position = 0;
    int received = 0;
    while (position < REGISTRATION_REPLY_SIZE - 1 &&
           http_exchange_receive(exchange, reply + position, REGISTRATION_REPLY_SIZE - 1 - position,
                                 &received)) {
        reply[position + received] = '\0';
        if (registration_reply_accepted(reply, position, position + received)) {
            return 1;
        }
        position += received;
    }
    return 0;
}

} // namespace

int registration_submit(const char* url, int use_proxy, const unsigned char* record, int count) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(record);
    char* reply = static_cast<char*>(MEM_ALLOC(REGISTRATION_REPLY_SIZE));
    int body_size = registration_body_size(count);
    char* body = static_cast<char*>(MEM_ALLOC(body_size));
    int body_length = 0;
    registration_body_compose(record, count, body, body_size, &body_length);

    char agent[REGISTRATION_AGENT_SIZE];
    text_format(agent, sizeof agent, "Pelmora Register %s (%s)", PROGRAM_NAME, PROGRAM_MAKER_SITE);
    HttpExchange exchange;
    int result = 0;
    if (http_exchange_start(url, agent, "POST", body, body_length, use_proxy, &exchange, reply,
                            REGISTRATION_REPLY_SIZE)) {
        update_progress(60.0);
        result = reply_accepted(&exchange, reply);
        http_exchange_end(&exchange);
    }
    update_progress(80.0);
    MEM_RETURN(body, body_size);
    MEM_RETURN(reply, REGISTRATION_REPLY_SIZE);
    return result;
}
