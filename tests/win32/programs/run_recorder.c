/* Stands in for a program that the uninstaller starts: a product's installer
 * in the update tests, the browser that opens a web page.
 *
 * Called NAME.exe, it appends its command line, as Windows hands it over, as
 * one line to NAME-runs.txt beside itself, and exits with the number written
 * in NAME-exit.txt beside itself (1 when that file is missing). It shows no
 * window and asks nothing, as an installer does under "-Quiet". */
#include <windows.h>
#include <stdio.h>
#include <string.h>

/* The path beside this program named after its own name and `suffix`. */
static void beside_self(char *path, size_t size, const char *suffix)
{
    DWORD length = GetModuleFileNameA(NULL, path, (DWORD)size);
    char *dot;
    path[length < size ? length : size - 1] = '\0';
    dot = strrchr(path, '.');
    if (dot && !strchr(dot, '\\') && (size_t)(dot - path) + strlen(suffix) < size) {
        strcpy(dot, suffix);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char path[MAX_PATH + 16];
    FILE *file;
    int code = 1;
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;

    beside_self(path, sizeof path, "-runs.txt");
    file = fopen(path, "ab");
    if (file) {
        fprintf(file, "%s\n", GetCommandLineA());
        fclose(file);
    }
    beside_self(path, sizeof path, "-exit.txt");
    file = fopen(path, "rb");
    if (file) {
        if (fscanf(file, "%d", &code) != 1) {
            code = 1;
        }
        fclose(file);
    }
    return code;
}
