// Drives the core library's fatal stops and the message boxes inside a real
// Windows process, for the end-to-end scenarios: `core_probe.exe CASE -debug`.
#include <windows.h>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "driver/message.h"

namespace {

int run_case(const char* name) {
    const char* none = nullptr;
    if (text_equal(name, "null-pointer")) {
        return text_length(none);
    }
    if (text_equal(name, "abort")) {
        CORE_ABORT("Couldn't init install\n");
    }
    if (text_equal(name, "long-entry")) {
        char* entry = static_cast<char*>(MEM_ALLOC(5000));
        for (int i = 0; i < 4999; ++i) {
            entry[i] = 'e';
        }
        log_printf("%s", entry);
    }
    if (text_equal(name, "guard-before") || text_equal(name, "guard-after")) {
        char* block = static_cast<char*>(MEM_ALLOC(5));
        block[text_equal(name, "guard-before") ? -1 : 8] = 0;
        MEM_RETURN(block, 5);
    }
    if (text_equal(name, "double-free")) {
        void* block = MEM_ALLOC(5);
        MEM_RETURN(block, 5);
        MEM_RETURN(block, 5);
    }
    if (text_equal(name, "bad-size")) {
        MEM_ALLOC(0);
    }
    if (text_equal(name, "limit")) {
        MEM_ALLOC(MEM_LIMIT_MAXIMUM);
    }
    if (text_equal(name, "no-memory")) {
        mem_init(0x7FFFFFFF, 0);
        MEM_ALLOC(0x7FFFFFF0);
    }
    if (text_equal(name, "leak")) {
        MEM_ALLOC(1);
    }
    if (text_equal(name, "notify")) {
        message_notify("Notice text", nullptr);
    }
    if (text_equal(name, "confirm")) {
        return message_confirm("Question text?", nullptr) ? 10 : 11;
    }
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    int mode = 0;
    log_options(&mode, arguments);
    log_open("debug.log", mode);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    char name[64] = "";
    int length = 0;
    while (arguments[length] > ' ' && length < static_cast<int>(sizeof name) - 1) {
        name[length] = arguments[length];
        ++length;
    }
    name[length] = '\0';
    int result = run_case(name);
    mem_report();
    log_close();
    return result;
}
