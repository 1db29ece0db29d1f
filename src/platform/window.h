// Window, dialog-item and progress helpers shared by every dialog and by
// every long step. Every on/off flag counts as on only when it is exactly 1.
// All operations return 1, except send_item_message.
#pragma once

// The platform's window handle (HWND on Windows).
struct HWND__;
typedef HWND__* WindowHandle;

// Every progress bar runs from 0 to PROGRESS_RANGE; callers give percentages.
enum { PROGRESS_RANGE = 1000 };

// Centres `window` over `reference`, or over the desktop when it is null; a
// corner that would lie off the desktop leaves the window where it is.
int center_window(WindowHandle window, WindowHandle reference);

// Moves the top-left corner to x, y only when that point lies on the desktop;
// a width and a height both above 0 also set the size.
int move_window_on_desktop(WindowHandle window, int x, int y, int width, int height);

// Dispatches the waiting messages, then yields the time slice. A pending
// WM_CLOSE or WM_QUIT stops it at once and stays queued for the main loop.
int process_pending_messages();

enum { WINDOW_DISABLED = 0, WINDOW_ENABLED = 1 };
enum { WINDOW_UNCHECKED = 0, WINDOW_CHECKED = 1 };

int enable_dialog_item(WindowHandle dialog, int id, int flag);
// Only BST_CHECKED reads as checked; the indeterminate state does not.
int get_item_checked(WindowHandle dialog, int id, int* flag);
int set_item_checked(WindowHandle dialog, int id, int flag);
// Reads the text cut to fit `size` characters and terminated.
int get_item_text(WindowHandle dialog, int id, char* text, int size);
// Sets the text, limits typing to `limit` characters and selects it all, so
// that typing replaces it.
int set_item_text(WindowHandle dialog, int id, const char* text, int limit);
long send_item_message(WindowHandle dialog, int id, unsigned message, unsigned long first,
                       long second);

int reset_progress_bar(WindowHandle dialog, int id);
int set_progress_percent(WindowHandle dialog, int id, double percentage);

// The bar position for a percentage: tenths of a percent, truncated toward
// zero and clamped to 0..PROGRESS_RANGE (a NaN gives 0).
int progress_position(double percentage);

// The program's one progress window, set when it is created and cleared when
// it is destroyed; the two operations below need no handle from their callers.
int set_progress_window(WindowHandle window);
WindowHandle get_progress_window();

// Advances the progress window's bar and keeps the screen alive.
int update_progress(double percentage);
enum { WINDOW_HIDDEN = 0, WINDOW_SHOWN = 1 };
// WINDOW_SHOWN centres the window over the desktop and shows it; any other
// flag hides it.
int show_progress_window(int flag);
