/* The floor of the removal benchmark: `delete_tree.exe ROOT FOLDERS FILES` asks in a box,
 * deletes ROOT\dNN\fNNNN.dat (NN < FOLDERS, NNNN < FILES) with nothing but DeleteFileA and
 * RemoveDirectoryA, in the uninstaller's order, then the folders, ROOT and ROOT's parent,
 * and says so in a box, as the uninstaller does: the benchmark times both the same way.
 * Exits 1 when anything could not be deleted. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4 || MessageBoxA(NULL, "Delete the tree?", "Floor...", MB_YESNO) == IDNO)
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
    MessageBoxA(NULL, "The tree has been deleted!", "Floor done...", MB_OK);
    return failed;
}
