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
int reply_accepted(SocketRecord* socket, char* reply) {
    int position = 0;
    int received = 0;
    while (
        position < REGISTRATION_REPLY_SIZE - 1 &&
        sock_receive(socket, reply + position, REGISTRATION_REPLY_SIZE - 1 - position, &received)) {
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
    SocketRecord* socket = nullptr;
    int head_length = 0;
    int result = 0;
    if (http_open_request(url, agent, "POST", body_length, use_proxy, &socket, reply,
                          REGISTRATION_REPLY_SIZE, &head_length)) {
        if (!http_send_all(socket, reply, head_length)) {
            log_printf("Unable to output header (%s)\n", sock_error_text(socket));
        } else if (!http_send_all(socket, body, body_length)) {
            log_printf("Unable to output Encode (%s)\n", sock_error_text(socket));
        } else {
            update_progress(60.0);
            result = reply_accepted(socket, reply);
        }
        update_progress(80.0);
        sock_shutdown(socket);
        sock_close(socket);
        sock_free(&socket);
    }
    MEM_RETURN(body, body_size);
    MEM_RETURN(reply, REGISTRATION_REPLY_SIZE);
    return result;
}
