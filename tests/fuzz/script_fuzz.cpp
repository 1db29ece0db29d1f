// The script loop over arbitrary bytes in every run mode: load, run and free
// with the host fakes; the run must end inside the text and free everything.
#include <cstdint>

#include "driver/run_mode.h"
#include "fakes/message_fake.h"
#include "fuzz_file.h"
#include "script/keyword_table.h"
#include "script/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int keywords_built = keyword_table_build();
    fuzz_check(keywords_built == 1);
    const char* path = fuzz_file(data, size);
    for (int mode :
         {RUN_UNINSTALL, RUN_REGISTER_STANDALONE, RUN_REGISTER_INSTALLER, RUN_UPDATE, RUN_NONE}) {
        message_fake_reset();
        InstallState* state = nullptr;
        fuzz_check(script_load(&state, path, mode));
        int result = script_run(state, nullptr);
        const char* at = state->run_position;
        const char* end = state->script_text + state->script_length;
        fuzz_check(at >= state->script_text && at <= end + 1 && (result != 1 || at >= end) &&
                   (result != 0 || *at == 0x16));
        script_free(&state);
    }
    return 0;
}
