#include "script.h"

#include <climits>

#include "archive/ffs.h"
#include "core/log.h"
#include "core/memory.h"
#include "script/arguments.h"
#include "script/handover.h"
#include "script/keyword_table.h"

namespace {

void free_state(InstallState** state) {
    if ((*state)->script_text) {
        MEM_RETURN((*state)->script_text, (*state)->script_length + 1);
    }
    MEM_RETURN(*state, static_cast<int>(sizeof(InstallState)));
}

void log_summary(const InstallState* state) {
    log_printf("Company Name   : %s\n", state->company_name);
    log_printf("Product Name   : %s\n", state->product_name);
    log_printf("File Count     : %d\n", state->file_count);
    log_printf("Install Path   : %s [%s]\n", state->install_path, state->install_dir);
}

} // namespace

int script_load(InstallState** state, const char* name, int run_mode) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(name);
    InstallState* loaded = static_cast<InstallState*>(MEM_ALLOC(sizeof(InstallState)));
    int length = 0;
    if (!ffs_file_size(name, &length) || length < 0 || length == INT_MAX) {
        free_state(&loaded);
        return 0;
    }
    loaded->script_length = length;
    loaded->script_text = static_cast<char*>(MEM_ALLOC(length + 1));
    if (!ffs_read_file(name, loaded->script_text, length)) {
        free_state(&loaded);
        return 0;
    }
    loaded->run_position = loaded->script_text;
    loaded->run_mode = run_mode;
    *state = loaded;
    return 1;
}

// Positions are offsets into the text: the appended zero is at `end`, and a
// command cut by it may leave the loop one past it, never further.
int script_run(InstallState* state, void* owner_window) {
    CORE_ASSERT_POINTER(state);
    state->owner_window = owner_window;
    const char* text = state->script_text;
    const long long end = state->script_length;
    long long at = state->run_position - text;
    while (at < end) {
        if (text[at] != SCRIPT_COMMAND_MARK) {
            ++at;
            continue;
        }
        state->run_position = text + at;
        char keyword[KEYWORD_SIZE];
        int taken = 0;
        long long stop = at + 1;
        for (; stop < end && text[stop] != ':' && taken < KEYWORD_SIZE - 1; ++stop) {
            keyword[taken++] = text[stop];
        }
        keyword[taken] = '\0';
        if (!keyword_known(keyword)) {
            log_printf("Unknown script command '%s'\n", keyword);
            message_notify("Installation script corrupted!", nullptr);
            return 0;
        }
        // The byte that ended the keyword is passed over, ':' or not.
        const long long arguments = stop + 1;
        int consumed = 0;
        if (!keyword_dispatch(keyword, state, text + arguments, &consumed)) {
            log_printf("Command Failed '%s'\n", keyword);
            return 0;
        }
        at = arguments + consumed;
        // One more byte: the LF after a CR that ended the last argument, or
        // the end byte that the handler left unread. A mark right after a
        // consumed end byte (a line ended by a lone CR or LF) is the next
        // command, not a byte to pass.
        const bool end_consumed = consumed > 0 && static_cast<unsigned char>(text[at - 1]) < 0x20;
        if (!(end_consumed && at < end && text[at] == SCRIPT_COMMAND_MARK)) {
            ++at;
        }
    }
    state->run_position = text + (at < end + 1 ? at : end + 1);
    log_summary(state);
    return 1;
}

int script_free(InstallState** state) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(*state);
    free_state(state);
    return 1;
}
