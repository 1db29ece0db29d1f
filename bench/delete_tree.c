/* The floor of the removal benchmark: `delete_tree.exe ROOT FOLDERS FILES [-Quiet]` asks in
 * a box, deletes ROOT\dNN\fNNNN.dat (NN < FOLDERS, NNNN < FILES) with nothing but DeleteFileA
 * and RemoveDirectoryA, in the uninstaller's order, then the folders, ROOT and ROOT's parent,
 * and says so in a box, as the uninstaller does: the benchmark times both the same way. With
 * -Quiet, as the uninstaller, it shows no box. Exits 1 when anything could not be deleted.
 *
 * The cheapest deletion through Win32 under Wine: a DeleteFileA is two requests to the
 * wineserver (open with deletion on close, close); a FindFirstFile adds four, an attribute
 * change three. user32 is loaded only to ask, so that a -Quiet run starts with kernel32 and
 * the C runtime alone (about 50 ms less under Wine). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int box(const char* text, const char* caption, UINT type) {
    typedef int(WINAPI * MessageBoxFunction)(HWND, LPCSTR, LPCSTR, UINT);
    MessageBoxFunction show = (MessageBoxFunction)(void (*)(void))GetProcAddress(
        LoadLibraryA("user32.dll"), "MessageBoxA");
    return show(NULL, text, caption, type);
}

int main(int argc, char** argv) {
    int quiet = argc == 5 && strcmp(argv[4], "-Quiet") == 0;
    if ((argc != 4 && !quiet) || (!quiet && box("Delete the tree?", "Floor...", MB_YESNO) == IDNO))
        return 2;
    int folders = atoi(argv[2]), files = atoi(argv[3]), failed = 0;
    char path[MAX_PATH];
    for (int d = 0; d < folders; d++) {
        for (int f = 0; f < files; f++) {
            snprintf(path, sizeof path, "%s\\d%02d\\f%04d.dat", argv[1], d, f);
            failed |= !DeleteFileA(path);
        }
        snprintf(path, sizeof path, "%s\\d%02d", argv[1], d);
        failed |= !RemoveDirectoryA(path);
    }
    failed |= !RemoveDirectoryA(argv[1]);
    snprintf(path, sizeof path, "%s", argv[1]);
    *strrchr(path, '\\') = '\0';
    failed |= !RemoveDirectoryA(path);
    if (!quiet)
        box("The tree has been deleted!", "Floor done...", MB_OK);
    return failed;
}
