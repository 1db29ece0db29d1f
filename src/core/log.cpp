#include "log.h"

#include <cstdio>
#include <cstdlib>

#include "format.h"
#include "log_platform.h"
#include "text.h"

namespace {

int g_mode = 0;
// Apart from g_mode, which decides whether entries are written at all.
int g_quiet = 0;
char g_path[LOG_PATH_SIZE];
void* g_lock = nullptr;
int g_console = 0;

// One entry buffer for every entry, used under the lock or during a fatal
// stop. Formatting is bounded by it; the length check then stops the program
// for anything that did not fit.
char g_entry[LOG_ENTRY_LIMIT + 1];

const char* g_where_file = "Unknown";
int g_where_line = 0;

const char g_fatal_caption[] = "Internal error...";
const int g_section_width = 79;

int clamp_entry(int length) {
    if (length < 0) {
        return 0;
    }
    return length < LOG_ENTRY_LIMIT ? length : LOG_ENTRY_LIMIT;
}

void write_entry(const char* text, int length) {
    if ((g_mode & LOG_CONSOLE) && g_console) {
        log_platform_console_write(text, length);
    }
    if (g_mode & LOG_FILE) {
        // Reopened per entry so that the file is complete whenever the process
        // ends; text mode stores each line feed as CR LF on Windows.
        FILE* file = fopen(g_path, "at+");
        if (file) {
            fwrite(text, 1, static_cast<size_t>(length), file);
            fclose(file);
        }
    }
}

int format_with(char* destination, int size, const char* format, ...) LOG_PRINTF_LIKE(3, 4);

int format_with(char* destination, int size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = format_text(destination, size, format, arguments);
    va_end(arguments);
    return length;
}

void check_length(int length);

[[noreturn]] void fatal_stop(const char* prefix, const char* format, va_list arguments) {
    int length = format_with(g_entry, sizeof g_entry, "\n\n%s", prefix);
    int message = format_text(g_entry + length, sizeof g_entry - length, format, arguments);
    length += message > 0 ? message : 0;
    int used = clamp_entry(length);
    int where = format_with(g_entry + used, sizeof g_entry - used, "       (%s/%d)\n", g_where_file,
                            g_where_line);
    length += where > 0 ? where : 0;

    if (!g_quiet) {
        log_platform_fatal_box(g_entry + 2, g_fatal_caption);
    }
    if (g_mode) {
        write_entry(g_entry, clamp_entry(length));
    }
    check_length(length);
    core_unlock();
    exit(1);
}

[[noreturn]] void fatal_stop_with(const char* prefix, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fatal_stop(prefix, format, arguments);
}

void check_length(int length) {
    if (length > LOG_ENTRY_LIMIT) {
        log_set_where("Unknown", 0);
        fatal_stop_with("ABORT: ", "Last string too large (%d > %d)\n", length, LOG_ENTRY_LIMIT);
    }
}

} // namespace

int log_options(int* mode, const char* text) {
    CORE_ASSERT_POINTER(mode);
    CORE_ASSERT_POINTER(text);
    const char* found = nullptr;
    *mode = 0;
    if (text_find_nocase(text, "-debug", &found)) {
        *mode = LOG_FILE | LOG_DEBUG;
    }
    if (text_find_nocase(text, "-window", &found)) {
        *mode |= LOG_CONSOLE;
    }
    if (text_find_nocase(text, "-append", &found)) {
        *mode |= LOG_APPEND;
    }
    if (text_find_nocase(text, "-Quiet", &found)) {
        *mode |= LOG_QUIET;
    }
    return 1;
}

int log_open(const char* name, int mode) {
    CORE_ASSERT_POINTER(name);
    g_lock = log_platform_lock_create();
    g_quiet = mode & LOG_QUIET;
    g_mode = mode & ~LOG_QUIET;
    if (!log_platform_command_line()) {
        CORE_ABORT("Unable to retrieve commandline!\n");
    }

    if (name[0] != '\0' && name[1] == ':') {
        text_copy(g_path, sizeof g_path, name);
    } else {
        log_platform_module_path(g_path, sizeof g_path);
        int cut = 0;
        for (int i = 0; g_path[i] != '\0'; ++i) {
            if (g_path[i] == '\\' || g_path[i] == '/') {
                cut = i + 1;
            }
        }
        g_path[cut] = '\0';
        text_append(g_path, sizeof g_path, text_length(name) < 2 ? "debug.log" : name);
    }

    if (g_mode == 0) {
        return 1;
    }
    if (g_mode & LOG_CONSOLE) {
        g_console = log_platform_console_open(g_path);
    }
    if ((g_mode & LOG_FILE) && !(g_mode & LOG_APPEND)) {
        FILE* file = fopen(g_path, "wt");
        if (file) {
            fclose(file);
        }
    }
    if (g_mode & LOG_DEBUG) {
        log_printf("Tessel v%s\n", CORE_LIBRARY_VERSION);
    }
    return 1;
}

int log_close() {
    if (g_lock) {
        log_platform_lock_close(g_lock);
        g_lock = nullptr;
    }
    g_mode = 0;
    return 1;
}

int log_mode() {
    return g_mode | g_quiet;
}

int log_printf(const char* format, ...) {
    CORE_ASSERT_POINTER(format);
    if (g_mode == 0) {
        return 1;
    }
    core_lock();
    va_list arguments;
    va_start(arguments, format);
    int length = format_text(g_entry, sizeof g_entry, format, arguments);
    va_end(arguments);
    write_entry(g_entry, clamp_entry(length));
    check_length(length);
    core_unlock();
    return 1;
}

int log_section(const char* name) {
    if (g_mode == 0) {
        return 1;
    }
    core_lock();
    // A named section starts with an empty line; either way the visible line
    // is padded with '=' to 79 characters.
    char line[g_section_width + 3];
    int width = g_section_width;
    int length = 0;
    if (name) {
        width = g_section_width + 1;
        length = format_with(line, width + 1, "\n====[%s]", name);
        if (length > width) {
            length = width;
        }
    } else {
        length = format_with(line, sizeof line, "====");
    }
    while (length < width) {
        line[length++] = '=';
    }
    line[length++] = '\n';
    line[length] = '\0';
    write_entry(line, length);
    core_unlock();
    return 1;
}

int log_where(const char* file, int line) {
    core_lock();
    return log_set_where(file, line);
}

int log_set_where(const char* file, int line) {
    g_where_file = file ? file : "Unknown";
    g_where_line = line;
    return 1;
}

int log_assert(int condition, const char* format, ...) {
    if (condition) {
        core_unlock();
        return 1;
    }
    va_list arguments;
    va_start(arguments, format);
    fatal_stop("ASSERT:", format, arguments);
}

int log_assert_pointer(const void* pointer) {
    return log_assert(pointer != nullptr, "Pointer is NULL...\n");
}

void log_abort(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fatal_stop("ABORT: ", format, arguments);
}

int core_lock() {
    if (g_lock) {
        log_platform_lock_take(g_lock);
    }
    return 1;
}

int core_unlock() {
    if (g_lock) {
        log_platform_lock_release(g_lock);
    }
    return 1;
}
