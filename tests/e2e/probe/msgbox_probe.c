/* Test-bed probe: shows one message box and exits with its result.
 *
 *   msgbox_probe.exe CAPTION TEXT [spawn]
 *
 * With "spawn" it starts a copy of itself (same CAPTION and TEXT, without
 * "spawn") and exits at once with 0, as a program that relocates itself
 * does; the box is then shown by the child process.
 * "\n" in TEXT (backslash, n) becomes a line break, so a two-line text can
 * be passed on a command line. Exit code 2 means bad usage, 3 a failed spawn. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void unescape_newlines(char *s)
{
    char *out = s;
    for (; *s; s++) {
        if (s[0] == '\\' && s[1] == 'n') {
            *out++ = '\n';
            s++;
        } else {
            *out++ = *s;
        }
    }
    *out = '\0';
}

static int spawn_copy(const char *caption, const char *text)
{
    char self[MAX_PATH];
    char cmd[4096];
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;

    if (!GetModuleFileNameA(NULL, self, sizeof self))
        return 3;
    /* Arguments carry no quotes of their own in the tests, so plain quoting is enough. */
    if (snprintf(cmd, sizeof cmd, "\"%s\" \"%s\" \"%s\"", self, caption, text) >= (int)sizeof cmd)
        return 3;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(self, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 3;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmdline, int show)
{
    char text[4096];
    (void)inst; (void)prev; (void)cmdline; (void)show;

    if (__argc < 3)
        return 2;
    if (__argc > 3 && strcmp(__argv[3], "spawn") == 0)
        return spawn_copy(__argv[1], __argv[2]);

    snprintf(text, sizeof text, "%s", __argv[2]);
    unescape_newlines(text);
    return MessageBoxA(NULL, text, __argv[1], MB_YESNO | MB_ICONQUESTION);
}
