// What the log needs from the operating system. log_win.cpp serves the
// shipping executable; log_posix.cpp serves the host tools and tests.
#pragma once

void* log_platform_lock_create();
void log_platform_lock_take(void* lock);
void log_platform_lock_release(void* lock);
void log_platform_lock_close(void* lock);

// The process's full command line, or null when the system has none.
const char* log_platform_command_line();

// The running executable's full path, cut to fit `size` bytes.
void log_platform_module_path(char* buffer, int size);

// Opens a console titled `title`; 1 when entries can be written to it.
int log_platform_console_open(const char* title);
void log_platform_console_write(const char* text, int length);

// Shows the fatal-stop box (OK button, stop icon, no owner) and waits for it.
void log_platform_fatal_box(const char* text, const char* caption);
