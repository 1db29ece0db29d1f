// The program's one "Please wait..." progress window: a modeless dialog
// created hidden at start-up and destroyed at shut-down. Long steps drive it
// through update_progress and show_progress_window (platform/window.h).
#pragma once

#include <windows.h>

// Creates the window from its template with `parent` (the driver passes
// none), makes it the program's progress window and hides it. Returns 0 and
// logs when the window cannot be created.
int progress_create(HINSTANCE instance, HWND parent);

// Destroys the progress window, if there is one. Returns 1.
int progress_destroy();
