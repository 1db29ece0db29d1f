// The update driver: question, check attempts, comparison, download, launch.
#include <windows.h>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "driver/identity.h"
#include "driver/message.h"
#include "net/http.h"
#include "platform/window.h"
#include "script/install_state.h"
#include "update/download.h"
#include "update/leftovers.h"
#include "update/offer.h"
#include "update/signature.h"
#include "update/update.h"

namespace {

// Large enough for the longest company and product names, so that no
// message is ever cut.
enum { UPDATE_MESSAGE_SIZE = 400, UPDATE_AGENT_SIZE = 320 };

const char g_quiet[] = "-Quiet";
const char g_refused[] = "The new version could not be verified as the maker's, so it was not "
                         "installed. Please go to the site for the latest version.";

int quiet() {
    return log_mode() & LOG_QUIET;
}

struct Attempt {
    const char* phase_format; // the log line of each phase
    const char* retry_question;
    InstallState* state;
    char* buffer;
};

int check_once(const Attempt& attempt, int use_proxy) {
    return update_fetch_info(attempt.state->update_url, use_proxy, attempt.buffer,
                             UPDATE_BUFFER_SIZE);
}

int download_once(const Attempt& attempt, int use_proxy) {
    return update_download(attempt.state, update_offer_values()->download_url, use_proxy,
                           attempt.buffer, UPDATE_BUFFER_SIZE);
}

// Phase 0 goes through the proxy, phase 1 directly, phase 2 asks (unless
// nobody is there to answer); each Yes repeats the direct attempt. Returns
// the last attempt's result.
int run_attempts(const Attempt& attempt, int (*once)(const Attempt&, int)) {
    int phase = 0;
    for (;;) {
        if (phase == 2 && quiet()) {
            return 0;
        }
        log_printf(attempt.phase_format, phase);
        if (phase < 2) {
            if (once(attempt, phase == 0 ? 1 : 0)) {
                return 1;
            }
            ++phase;
        } else if (message_confirm(attempt.retry_question, UPDATE_TITLE)) {
            phase = 1;
        } else {
            return 0;
        }
    }
}

// Nothing unverified is fetched or started: told once, under the update title.
int refuse(InstallState* state, const char* reason) {
    log_printf("Update refused: %s\n", reason);
    message_notify(g_refused, UPDATE_TITLE);
    state->update_outcome = UPDATE_EXIT_NOT_INSTALLED;
    return 1;
}

int download_and_launch(Attempt attempt) {
    InstallState* state = attempt.state;
    UpdateOffer* offer = update_offer_values();
    const char* reason = nullptr;
    int pinned = state->update_key[0] != '\0';
    if (!pinned && quiet()) {
        return refuse(state, "no key is pinned, and an unattended update must be signed");
    }
    if (pinned && !signature_texts_usable(state->update_key, offer->signature, &reason)) {
        return refuse(state, reason);
    }
    attempt.phase_format = "Update download on phase %d\n";
    attempt.retry_question = "There was a problem downloading the update, would you like to try "
                             "again?";
    update_progress(0.0);
    show_progress_window(WINDOW_SHOWN);
    int result = run_attempts(attempt, download_once);
    show_progress_window(WINDOW_HIDDEN);
    if (result && pinned &&
        !signature_check_file(offer->saved_path, state->update_key, offer->signature, &reason)) {
        log_printf("Delete file '%s'\n", offer->saved_path);
        DeleteFileA(offer->saved_path);
        return refuse(state, reason);
    }
    if (result) {
        int exit_code = 0;
        execute_and_wait(offer->saved_path, g_quiet, UPDATE_WAIT, &exit_code);
        update_remove_leftovers(state, offer->saved_path);
        state->update_outcome = exit_code == 1 ? UPDATE_EXIT_CURRENT : UPDATE_EXIT_FAILED;
        message_notify(exit_code == 1 ? "Successfully updated program to latest version!"
                                      : "Error attempting to update, please go to the site for "
                                        "the latest version.",
                       UPDATE_TITLE);
    }
    return result;
}

} // namespace

int update_run(void*, InstallState* state) {
    CORE_ASSERT_POINTER(state);
    if (state->update_url[0] == '\0') {
        state->update_outcome = UPDATE_EXIT_UNREACHABLE;
        return 1;
    }
    char question[UPDATE_MESSAGE_SIZE];
    text_format(question, sizeof question,
                "Would you like to check for an update to %s %s electronically?",
                state->company_name, state->product_name);
    if (!message_confirm(question, UPDATE_TITLE)) {
        return 1;
    }
    if (state->text[0] == '\0') {
        text_copy(state->text, sizeof state->text, "UPD");
    }
    char* buffer = static_cast<char*>(MEM_ALLOC(UPDATE_BUFFER_SIZE));
    update_progress(0.0);
    show_progress_window(WINDOW_SHOWN);
    Attempt attempt = {"Update on phase %d\n",
                       "There was a problem checking with the update server, would you like to "
                       "try again?",
                       state, buffer};
    int result = run_attempts(attempt, check_once);
    show_progress_window(WINDOW_HIDDEN);
    if (result) {
        if (!update_compare(state, buffer)) {
            state->update_outcome = UPDATE_EXIT_UNREACHABLE;
            message_notify("Unable to retrieve version info from update server, please check the "
                           "website.",
                           UPDATE_TITLE);
        }
        if (update_offer_values()->download_requested) {
            result = download_and_launch(attempt);
        }
    }
    MEM_RETURN(buffer, UPDATE_BUFFER_SIZE);
    if (!result) {
        state->update_outcome = UPDATE_EXIT_UNREACHABLE;
        message_notify("Unable to contact the update server, please try again later.",
                       UPDATE_TITLE);
    }
    return 1;
}

int update_fetch_info(const char* url, int use_proxy, char* buffer, int capacity) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(buffer);
    char agent[UPDATE_AGENT_SIZE];
    text_format(agent, sizeof agent, "Pelmora Update Check %s (%s)", PROGRAM_NAME,
                PROGRAM_MAKER_SITE);
    HttpExchange exchange;
    if (!http_exchange_start(url, agent, "GET", nullptr, 0, use_proxy, &exchange, buffer,
                             capacity)) {
        return 0;
    }
    update_progress(60.0);
    // One byte is always kept for the terminating zero.
    int result = 0;
    int position = 0;
    int received = 0;
    while (
        http_exchange_receive(&exchange, buffer + position, capacity - position - 1, &received)) {
        log_printf("Recieved -> %d [%d]\n", position, received);
        result = 1;
        buffer[position + received] = '\0';
        position += received;
    }
    update_progress(80.0);
    http_exchange_end(&exchange);
    return result;
}

int update_compare(InstallState* state, const char* answer) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(answer);
    UpdateRecord record;
    int newer = 0;
    if (!update_find_product(state, answer, &record, &newer)) {
        return 0;
    }
    if (newer) {
        update_offer(GetModuleHandleA(nullptr), static_cast<HWND>(state->owner_window), state,
                     &record);
    } else {
        char text[UPDATE_MESSAGE_SIZE];
        text_format(text, sizeof text, "You are running the latest version of %s %s.",
                    state->company_name, state->product_name);
        message_notify(text, UPDATE_TITLE);
    }
    return 1;
}
