// Entry point: log, run mode, start-up and shut-down in their fixed order.
#include <windows.h>

#include <commctrl.h>

#include "archive/ffs.h"
#include "core/cmdline.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/system_path.h"
#include "core/text.h"
#include "driver/identity.h"
#include "driver/message.h"
#include "driver/ole.h"
#include "driver/own_path.h"
#include "driver/progress.h"
#include "driver/relocate.h"
#include "driver/run_mode.h"
#include "net/socket.h"
#include "platform/files.h"
#include "script/file_removal.h"
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

// Exit codes of a "-Quiet" run, with the update's (update/update.h); every
// other run ends with 0.
enum {
    EXIT_REMOVED = 0,   // the product was removed completely
    EXIT_FATAL = 1,     // a fatal stop
    EXIT_NOT_FOUND = 2, // no installation was found; nothing was removed
    EXIT_DAMAGED = 3,   // the archive or the install script is unusable
    EXIT_LEFTOVERS = 4, // removed, except for files or folders named in the log
};

int quiet() {
    return log_mode() & LOG_QUIET;
}

// Loads, runs and unloads the install script; its failures are the script's
// to show. Returns the run's exit code; `deferred` receives the file that
// may be deleted only once the started process has ended.
int run_script(int run_mode, int uninstaller_waits, char* deferred, int size) {
    const char load_failed[] = "Couldn't load installation script.\n";
    if (!script_load(&g_install_state, "install.dat", run_mode)) {
        if (!quiet()) {
            CORE_ABORT(load_failed);
        }
        log_printf("%s", load_failed);
        return EXIT_DAMAGED;
    }
    g_install_state->uninstaller_waits = uninstaller_waits;
    int exit_code = EXIT_REMOVED;
    if (!script_run(g_install_state, nullptr)) {
        log_printf("Script failed somewhere\n");
        exit_code = EXIT_DAMAGED;
    } else if (g_install_state->install_missing) {
        exit_code = EXIT_NOT_FOUND;
    } else if (g_install_state->leftovers.count > 0) {
        exit_code = EXIT_LEFTOVERS;
    } else if (run_mode == RUN_UPDATE) {
        exit_code = g_install_state->update_outcome;
    }
    text_copy(deferred, size, g_install_state->deferred_file);
    script_free(&g_install_state);
    return exit_code;
}

// Everything between start-up and shut-down once this process is the one that
// does the work. Start-up: memory, common controls, socket library, keyword
// table, OLE, archive, progress window, script; shut-down runs the same steps
// in reverse and ends with the memory report. Returns the run's exit code.
int run_in_place(HINSTANCE instance, char* own_path, int run_mode, int uninstaller_waits,
                 char* deferred, int size) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    init_common_controls();
    // A library that does not start is only logged: the network steps fail later.
    sock_startup();
    keyword_table_build();
    own_path_complete(own_path, g_own_path_size);

    if (!ole_start()) {
        CORE_ABORT("Couldn't init install\n");
    }

    int exit_code = EXIT_DAMAGED;
    if (ffs_open(own_path)) {
        if (!quiet()) {
            progress_create(instance, nullptr);
        }
        exit_code = run_script(run_mode, uninstaller_waits, deferred, size);
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
    return exit_code;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    int log_options_word = 0;
    log_options(&log_options_word, arguments);
    log_open("debug.log", log_options_word);

    const char* command_line = GetCommandLineA();
    log_printf("%s Version %s (%s)\n", PROGRAM_NAME, PROGRAM_VERSION, PROGRAM_BUILD);
    log_printf("Cmdline '%s' '%s'\n", command_line, arguments);

    // Taken wide: a folder outside the code page comes as its short form. A
    // path without an 8-bit form stays empty, and the archive cannot be opened.
    wchar_t wide_path[SYSTEM_PATH_SIZE];
    char own_path[g_own_path_size] = "";
    DWORD length = GetModuleFileNameW(nullptr, wide_path, SYSTEM_PATH_SIZE);
    if (length > 0 && length < SYSTEM_PATH_SIZE) {
        system_path_from_wide(wide_path, own_path, sizeof own_path);
    }

    int run_mode = run_mode_from_command_line(command_line);
    int exit_code = EXIT_REMOVED;
    RelocateWaiting waiting = {};
    if (quiet() && run_mode != RUN_UNINSTALL && run_mode != RUN_UPDATE) {
        // Registration needs a person.
        log_printf("Quiet: nothing shown, nothing sent\n");
    } else if (run_mode_relocates(run_mode, command_line)) {
        relocate_and_spawn(cmdline_argument(command_line, 1, nullptr), quiet(), &exit_code);
    } else {
        int waits = relocate_waiting_from(command_line, &waiting);
        char deferred[STATE_TEXT_SIZE] = "";
        exit_code = run_in_place(instance, own_path, run_mode, waits, deferred, sizeof deferred);
        if (waits) {
            relocate_report(&waiting, exit_code);
            // An update's old uninstaller is there only when its installer had
            // to rename the running one.
            if (deferred[0] != '\0' && (run_mode != RUN_UPDATE || file_exists(deferred))) {
                delete_file_patiently(deferred, 5000, nullptr);
            }
        }
    }

    log_printf("Successful Exit...\n");
    log_close();
    return quiet() ? exit_code : 0;
}
