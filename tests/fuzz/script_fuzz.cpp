// The script loop over arbitrary bytes in every run mode: load, run and free
// with the host fakes; the run must end inside the text and free everything.
#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "driver/run_mode.h"
#include "fakes/message_fake.h"
#include "fuzz_file.h"
#include "script/keyword_table.h"
#include "script/script.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_quiet_log();
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    keyword_table_build();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz_file(data, size);
    for (int mode :
         {RUN_UNINSTALL, RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        message_fake_reset();
        InstallState* state = nullptr;
        if (!script_load(&state, path, mode)) {
            abort();
        }
        int result = script_run(state, nullptr);
        const char* end = state->script_text + state->script_length;
        if (state->run_position < state->script_text || state->run_position > end + 1 ||
            (result == 1 && state->run_position < end) ||
            (result == 0 && *state->run_position != 0x16)) {
            abort();
        }
        script_free(&state);
    }
    return 0;
}
