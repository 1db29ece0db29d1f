#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "driver/message.h"
#include "platform/registry.h"
#include "platform/window.h"
#include "registration/dialogs.h"
#include "registration/form_check.h"
#include "registration/registrant.h"
#include "registration/registration.h"
#include "registration/submission.h"
#include "registration/submit.h"
#include "registration/sysinfo.h"

namespace {

enum { PHASE_PROXY = 0, PHASE_DIRECT = 1, PHASE_ASK = 2, PHASE_COUNT = 3 };

// A Yes to the question goes on with a direct attempt, not the proxy.
int submit_in_phases(const char* url, const unsigned char* record, int count) {
    int result = 0;
    for (int phase = PHASE_PROXY; phase < PHASE_COUNT; ++phase) {
        log_printf("Submission on phase %d\n", phase);
        if (phase == PHASE_PROXY) {
            result = registration_submit(url, REGISTRATION_THROUGH_PROXY, record, count);
        } else if (phase == PHASE_DIRECT) {
            result = registration_submit(url, REGISTRATION_DIRECT, record, count);
        } else if (message_confirm("There was a problem sending your registration, would you "
                                   "like to try again?",
                                   g_registration_caption)) {
            phase = PHASE_PROXY;
        }
        if (result == 1) {
            break;
        }
    }
    return result;
}

// The form, and the verification when the user asked for notices; a
// cancelled verification opens the form again as the user left it.
int ask_details(WindowHandle owner) {
    for (;;) {
        // Anything but a confirmed registration (a dialog that failed to open
        // included) sends nothing.
        if (registration_form_show(owner) != 1) {
            return 0;
        }
        if (g_registrant.update_choice != UPDATES_YES || email_verify_show(owner) == 1) {
            return 1;
        }
    }
}

void note_registered_version(const InstallState* state) {
    const char* path = state->registry_path;
    RegKey key = nullptr;
    if (reg_key_exists(REG_ROOT_CURRENT_USER, path)) {
        if (!reg_open_key(&key, REG_ROOT_CURRENT_USER, path)) {
            CORE_ABORT("Unable to open key '%s'\n", path);
        }
    } else if (!reg_create_key(&key, REG_ROOT_CURRENT_USER, path)) {
        CORE_ABORT("Unable to create key '%s'\n", path);
    }
    reg_set_string(key, "Registered Version", state->product_version);
    reg_close_key(&key);
}

} // namespace

int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state) {
    CORE_ASSERT_POINTER(question);
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(record_text);
    CORE_ASSERT_POINTER(state);
    registration_caption_set(state->company_name, state->product_name);
    if (!message_confirm(question, g_registration_caption)) {
        return 0;
    }
    if (state->text[0] == '\0') {
        text_copy(state->text, sizeof state->text, "REG");
    }
    registrant_load();
    if (!ask_details(static_cast<WindowHandle>(owner_window))) {
        return 0;
    }
    update_progress(0.0);
    show_progress_window(WINDOW_SHOWN);

    unsigned char* record = static_cast<unsigned char*>(MEM_ALLOC(REGISTRATION_RECORD_SIZE));
    int count = 0;
    sysinfo_build(state, record_text, reinterpret_cast<char*>(record), REGISTRATION_RECORD_SIZE,
                  &count);
    registration_scramble(record, count);
    log_printf("Send registration to '%s' (%d)\n", url, count);
    int result = submit_in_phases(url, record, count);
    if (result == 1 && g_registrant.update_choice == UPDATES_YES &&
        state->list_server_name[0] != '\0') {
        g_registrant.update_choice = UPDATES_ALREADY;
        registrant_save();
    }
    MEM_RETURN(record, REGISTRATION_RECORD_SIZE);
    show_progress_window(WINDOW_HIDDEN);

    if (result == 1) {
        if (state->registry_path[0] != '\0') {
            note_registered_version(state);
        }
        message_notify("Your registration has been successfully sent!  Thank you!",
                       g_registration_caption);
    }
    return result;
}
