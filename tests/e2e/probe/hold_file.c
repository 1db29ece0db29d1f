/* Test-bed holder: keeps a file open the way a running program does, so that
 * it cannot be deleted.
 *
 *   hold_file.exe FILE READY RELEASE
 *
 * Opens FILE for reading without FILE_SHARE_DELETE, creates the file READY,
 * then waits until the file RELEASE exists (at most 120 s) and exits 0.
 * Exit code 2 means bad usage, 3 that FILE could not be opened. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    if (__argc != 4)
        return 2;
    HANDLE held = CreateFileA(__argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready =
        CreateFileA(__argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (int waited = 0; waited < 120000; waited += 50) {
        if (GetFileAttributesA(__argv[3]) != INVALID_FILE_ATTRIBUTES)
            break;
        Sleep(50);
    }
    CloseHandle(held);
    return 0;
}
