// Entry point: log, run mode, start-up and shut-down in their fixed order.
#include <windows.h>

#include <commctrl.h>

#include "core/cmdline.h"
#include "core/log.h"
#include "core/memory.h"
#include "driver/identity.h"
#include "driver/ole.h"
#include "driver/progress.h"
#include "driver/relocate.h"
#include "driver/run_mode.h"

namespace {

const int g_own_path_size = 160;

void init_common_controls() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    // Every class from the list view through the pager.
    controls.dwICC = 0x1FFF;
    InitCommonControlsEx(&controls);
}

// Everything that runs between start-up and shut-down once this process is
// the one that does the work.
void run_in_place(HINSTANCE instance) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    init_common_controls();

    if (!ole_start()) {
        CORE_ABORT("Couldn't init install\n");
    }

    progress_create(instance, nullptr);

    progress_destroy();

    ole_stop();
    mem_report();
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    int log_options_word = 0;
    log_options(&log_options_word, arguments);
    log_open("debug.log", log_options_word);

    const char* command_line = GetCommandLineA();
    char own_path[g_own_path_size];
    DWORD length = GetModuleFileNameA(nullptr, own_path, sizeof own_path);
    own_path[length < sizeof own_path ? length : sizeof own_path - 1] = '\0';

    log_printf("%s Version %s (%s)\n", PROGRAM_NAME, PROGRAM_VERSION, PROGRAM_BUILD);
    log_printf("Cmdline '%s' '%s'\n", command_line, arguments);

    int run_mode = run_mode_from_command_line(command_line);
    if (run_mode_relocates(run_mode, command_line)) {
        relocate_and_spawn(cmdline_argument(command_line, 1, nullptr));
    } else {
        run_in_place(instance);
    }

    log_printf("Successful Exit...\n");
    log_close();
    return 0;
}
