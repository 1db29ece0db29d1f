/* The floor of the removal benchmark: deletes the benchmark's tree with
 * nothing but DeleteFileA and RemoveDirectoryA, in the same order as the
 * uninstaller, and prints how long that took.
 *
 *   delete_tree.exe ROOT FOLDERS FILES [boxes]
 *
 * With "boxes" it asks before and reports after in message boxes, as the
 * uninstaller does, so that the benchmark can time both the same way.
 *
 * ROOT\dNN\fNNNN.dat for NN < FOLDERS and NNNN < FILES; the folders, ROOT and
 * ROOT's parent are removed after their files. Prints "deleted N files in M ms"
 * and exits 0, or 1 when anything could not be deleted. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5)
        return 2;
    int boxes = argc == 5 && strcmp(argv[4], "boxes") == 0;
    if (boxes && MessageBoxA(NULL, "Delete the tree?", "Floor...", MB_YESNO) == IDNO)
        return 0;
    const char* root = argv[1];
    int folders = atoi(argv[2]), files = atoi(argv[3]), failed = 0;
    char path[MAX_PATH];
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int d = 0; d < folders; d++) {
        for (int f = 0; f < files; f++) {
            snprintf(path, sizeof path, "%s\\d%02d\\f%04d.dat", root, d, f);
            failed |= !DeleteFileA(path);
        }
        snprintf(path, sizeof path, "%s\\d%02d", root, d);
        failed |= !RemoveDirectoryA(path);
    }
    failed |= !RemoveDirectoryA(root);
    snprintf(path, sizeof path, "%s", root);
    char* cut = strrchr(path, '\\');
    if (cut)
        *cut = '\0';
    failed |= !RemoveDirectoryA(path);
    QueryPerformanceCounter(&end);
    printf("deleted %d files in %.0f ms\n", folders * files,
           (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    if (boxes)
        MessageBoxA(NULL, "The tree has been deleted!", "Floor done...", MB_OK);
    return failed ? 1 : 0;
}
