// Entry point: log, run mode, start-up and shut-down in their fixed order.
#include <windows.h>

#include <commctrl.h>

#include "archive/ffs.h"
#include "core/cmdline.h"
#include "core/log.h"
#include "core/memory.h"
#include "driver/identity.h"
#include "driver/message.h"
#include "driver/ole.h"
#include "driver/own_path.h"
#include "driver/progress.h"
#include "driver/relocate.h"
#include "driver/run_mode.h"
#include "net/socket.h"
#include "script/keyword_table.h"
#include "script/script.h"

namespace {

const int g_own_path_size = 160;

// Owned from loading to unloading; the script text lives as long as it does.
InstallState* g_install_state = nullptr;

void init_common_controls() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    // Every class from the list view through the pager.
    controls.dwICC = 0x1FFF;
    InitCommonControlsEx(&controls);
}

// Loads, runs and unloads the install script; its failures are the script's
// to show.
void run_script(int run_mode) {
    if (!script_load(&g_install_state, "install.dat", run_mode)) {
        CORE_ABORT("Couldn't load installation script.\n");
    }
    if (!script_run(g_install_state, nullptr)) {
        log_printf("Script failed somewhere\n");
    }
    script_free(&g_install_state);
}

// Everything between start-up and shut-down once this process is the one that
// does the work. Start-up: memory, common controls, socket library, keyword
// table, OLE, archive, progress window, script; shut-down runs the same steps
// in reverse and ends with the memory report.
void run_in_place(HINSTANCE instance, char* own_path, int run_mode) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    init_common_controls();
    // A library that does not start is only logged: the network steps fail later.
    sock_startup();
    keyword_table_build();
    own_path_complete(own_path, g_own_path_size);

    if (!ole_start()) {
        CORE_ABORT("Couldn't init install\n");
    }

    if (ffs_open(own_path)) {
        progress_create(instance, nullptr);
        run_script(run_mode);
        progress_destroy();
    } else {
        message_notify("The installation file has been damaged, please download a new copy.",
                       nullptr);
    }

    ffs_close();
    ole_stop();
    keyword_table_free();
    sock_cleanup();
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
        run_in_place(instance, own_path, run_mode);
    }

    log_printf("Successful Exit...\n");
    log_close();
    return 0;
}
