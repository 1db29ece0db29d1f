// The download into the installation folder, and the launch of what it saved.
#include <windows.h>

#include <shellapi.h>

#include "core/log.h"
#include "core/text.h"
#include "driver/identity.h"
#include "net/http.h"
#include "platform/window.h"
#include "script/install_state.h"
#include "script/paths.h"
#include "update/download.h"
#include "update/offer.h"

namespace {

enum { DOWNLOAD_AGENT_SIZE = 320, DOWNLOAD_WAIT_MS = 500 };

// The saved file stays inside the installation folder: a name that could
// leave it, or that would not fit whole beside the folder, is refused, and so
// is every name while no installation folder is known.
int saved_path_for(InstallState* state, const char* url, char* path, int size) {
    char name[UPDATE_PATH_SIZE];
    update_file_name(url, name, sizeof name);
    if (state->install_path[0] == '\0' || !update_file_name_safe(name) ||
        !expand_path(state, name, path, size)) {
        log_printf("Refusing to save '%s' into the installation folder\n", name);
        path[0] = '\0';
        return 0;
    }
    return 1;
}

// Receives until the server closes; hands each body piece to the file.
int receive_body(HttpExchange* exchange, HANDLE file, const char* path, char* buffer, int capacity,
                 UpdateDownload* download) {
    update_progress(60.0);
    int received = 0;
    while (http_exchange_receive(exchange, buffer + download->write_position,
                                 capacity - download->write_position - 1, &received)) {
        buffer[download->write_position + received] = '\0';
        const char* body = nullptr;
        int length = 0;
        if (!update_download_take(download, buffer, received, &body, &length)) {
            continue;
        }
        if (download->content_length > 0) {
            update_progress(60.0 + 40.0 * download->written / download->content_length);
        }
        DWORD written = 0;
        if (length > 0 && (!WriteFile(file, body, static_cast<DWORD>(length), &written, nullptr) ||
                           written != static_cast<DWORD>(length))) {
            log_printf("Unable to write file '%s' (0x%.8X)\n", path,
                       static_cast<unsigned>(GetLastError()));
            return 0;
        }
        download->written += length;
        log_printf("Recieved -> [%d / %d]\n", length, download->written);
    }
    return 1;
}

} // namespace

int update_download(InstallState* state, const char* url, int use_proxy, char* buffer,
                    int capacity) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(buffer);
    char* path = update_offer_values()->saved_path;
    const int path_size = sizeof update_offer_values()->saved_path;
    if (!saved_path_for(state, url, path, path_size)) {
        return 0;
    }
    log_printf("Save to -> [%s]\n", path);
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log_printf("Unable to open file '%s'\n", path);
        return 0;
    }

    char agent[DOWNLOAD_AGENT_SIZE];
    text_format(agent, sizeof agent, "Pelmora Update Download %s (%s)", PROGRAM_NAME,
                PROGRAM_MAKER_SITE);
    UpdateDownload download;
    update_download_start(&download);
    HttpExchange exchange;
    if (!http_exchange_start(url, agent, "GET", nullptr, 0, use_proxy, &exchange, buffer,
                             capacity)) {
        CloseHandle(file);
        return 0;
    }
    int complete = receive_body(&exchange, file, path, buffer, capacity, &download);
    CloseHandle(file);
    http_exchange_end(&exchange);
    // A file that could not be written whole is never judged, so never started.
    return complete && update_download_outcome(&download);
}

int execute_and_wait(const char* path, const char* parameters, int wait, int* exit_code) {
    CORE_ASSERT_POINTER(path);
    CORE_ASSERT_POINTER(exit_code);
    *exit_code = 0;
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = path;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWDEFAULT;
    if (!ShellExecuteExA(&info)) {
        log_printf("Unable to execute '%s' '%s' 0x%.8X\n", path, parameters ? parameters : "",
                   static_cast<unsigned>(GetLastError()));
        return 1;
    }
    // Only a started program has a process to wait for.
    if (info.hProcess == nullptr) {
        return 1;
    }
    if (wait == 1) {
        do {
            process_pending_messages();
        } while (WaitForSingleObject(info.hProcess, DOWNLOAD_WAIT_MS) == WAIT_TIMEOUT);
        DWORD code = 0;
        if (!GetExitCodeProcess(info.hProcess, &code)) {
            DWORD error = GetLastError();
            log_printf("Failed to get exit code (%d) (0x%.8X)\n", static_cast<int>(error),
                       static_cast<unsigned>(error));
        } else {
            *exit_code = static_cast<int>(code);
        }
    }
    CloseHandle(info.hProcess);
    return 1;
}
