#include <windows.h>

#include <ole2.h>

#include "core/log.h"
#include "ole.h"
#include "script/shortcuts.h"

int ole_start() {
    // S_FALSE (COM already running on this thread) counts as a failure too.
    HRESULT result = CoInitialize(nullptr);
    if (result != S_OK) {
        log_printf("CoInitialize() Failed (0x%.8X)\n", static_cast<unsigned>(result));
        return 0;
    }
    result = OleInitialize(nullptr);
    if (result != S_OK) {
        log_printf("Failed to initialize OLE (0x%.8X)\n", static_cast<unsigned>(result));
        return 0;
    }
    current_group_clear();
    return 1;
}

int ole_stop() {
    OleUninitialize();
    CoUninitialize();
    return 1;
}
