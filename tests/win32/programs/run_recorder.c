/* Stands in for a program the uninstaller starts (a product's installer, the browser):
 * called NAME.exe, it appends its command line, as Windows hands it over, to NAME-runs.txt
 * beside itself and exits with the number in NAME-exit.txt beside itself (1 without one).
 * With NAME-rename.txt beside itself (two lines: a file, its new name) it first renames that
 * file, as an installer renames the running uninstaller that it replaces, and exits with 99
 * when it cannot.
 * It shows nothing and asks nothing, as an installer does under "-Quiet". */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static FILE* beside_self(const char* suffix, const char* mode) {
    char path[MAX_PATH + 16] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    strcpy(strrchr(path, '.'), suffix);
    return fopen(path, mode);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance, (void)previous, (void)arguments, (void)show;
    int code = 1, renamed = 1;
    char from[MAX_PATH] = "", to[MAX_PATH] = "";
    FILE* file = beside_self("-rename.txt", "rb");
    if (file) {
        renamed = fscanf(file, " %259[^\r\n] %259[^\r\n]", from, to) == 2 && MoveFileA(from, to);
        fclose(file);
    }
    file = beside_self("-runs.txt", "ab");
    if (file) {
        fprintf(file, "%s\n", GetCommandLineA());
        fclose(file);
    }
    file = beside_self("-exit.txt", "rb");
    if (file) {
        if (fscanf(file, "%d", &code) != 1)
            code = 1;
        fclose(file);
    }
    return renamed ? code : 99; /* no exit code that the uninstaller takes for success */
}
