// A real Windows process for the end-to-end scenarios: `core_probe.exe CASE [ARGS] [-debug]`
// runs the core library's fatal stops and message boxes, or holds a file open.
#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "driver/message.h"

namespace {

// hold FILE READY RELEASE: opens FILE without delete sharing, so that it cannot be
// deleted, creates READY, and keeps FILE open until RELEASE exists (at most 120 s).
int hold(char** paths) {
    HANDLE held = CreateFileA(paths[0], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 3;
    }
    CloseHandle(CreateFileA(paths[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (int waited = 0; waited < 120000 && GetFileAttributesA(paths[2]) == INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    CloseHandle(held);
    return 0;
}

int run_case(const char* name) {
    auto is = [name](const char* wanted) { return text_equal(name, wanted); };
    const char* none = nullptr;
    char* block = nullptr;
    if (is("null-pointer")) {
        return text_length(none);
    } else if (is("abort")) {
        CORE_ABORT("Couldn't init install\n");
    } else if (is("long-entry")) {
        block = static_cast<char*>(MEM_ALLOC(5000));
        memset(block, 'e', 4999);
        log_printf("%s", block);
    } else if (is("guard-before") || is("guard-after")) {
        block = static_cast<char*>(MEM_ALLOC(5));
        block[is("guard-before") ? -1 : 8] = 0;
        MEM_RETURN(block, 5);
    } else if (is("double-free")) {
        block = static_cast<char*>(MEM_ALLOC(5));
        MEM_RETURN(block, 5);
        MEM_RETURN(block, 5); // the first return cleared the pointer
    } else if (is("bad-size") || is("limit") || is("leak")) {
        MEM_ALLOC(is("bad-size") ? 0 : is("limit") ? MEM_LIMIT_MAXIMUM : 1);
    } else if (is("no-memory")) {
        mem_init(0x7FFFFFFF, 0);
        MEM_ALLOC(0x7FFFFFF0);
    } else if (is("notify")) {
        message_notify("Notice text", nullptr);
    } else if (is("confirm")) {
        return message_confirm("Question text?", nullptr) ? 10 : 11;
    }
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    if (__argc == 5 && text_equal(__argv[1], "hold")) {
        return hold(__argv + 2);
    }
    int mode = 0;
    log_options(&mode, arguments);
    log_open("debug.log", mode);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    int result = run_case(__argc > 1 ? __argv[1] : "");
    mem_report();
    log_close();
    return result;
}
