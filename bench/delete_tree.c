/* The floor of the removal benchmark: `delete_tree.exe ROOT FOLDERS FILES [-Quiet]` asks in
 * a box, deletes ROOT\dNN\fNNNN.dat (NN < FOLDERS, NNNN < FILES) with nothing but DeleteFileA
 * and RemoveDirectoryA, in the uninstaller's order, then the folders, ROOT and ROOT's parent,
 * and says so in a box, as the uninstaller does: the benchmark times both the same way. With
 * -Quiet, as the uninstaller, it shows no box. Exits 1 when anything could not be deleted. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    int quiet = argc == 5 && strcmp(argv[4], "-Quiet") == 0;
    if ((argc != 4 && !quiet) ||
        (!quiet && MessageBoxA(NULL, "Delete the tree?", "Floor...", MB_YESNO) == IDNO))
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
        MessageBoxA(NULL, "The tree has been deleted!", "Floor done...", MB_OK);
    return failed;
}
