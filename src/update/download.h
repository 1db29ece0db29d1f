// Downloading the new version into the installation folder and starting it.
//
// The receive loop hands each piece to update_download_take, which finds the
// end of the response head (CR LF CR LF, also when it arrives split), reads
// "Content-Length:" from the head only, and gives back the body bytes. Only a
// status of 2xx carries the file: an error page (a proxy's, too) is no installer.
#pragma once

#include "update/update_info.h"

struct InstallState;

enum { UPDATE_PATH_SIZE = 320, UPDATE_DIGITS_LIMIT = 79 };

struct UpdateDownload {
    int head_finished;
    int answered;       // 1 when the status line says the file follows (2xx)
    int content_length; // 0 when the head announced none
    int written;        // body bytes handed out so far
    int body_seen;      // 1 once at least one body byte has arrived
    int write_position; // where the next receive lands in the buffer
};

// The decimal value of the digits at the start of `text` (no sign, no blanks,
// at most 79 digits); 0 for none or a null text. Saturates at the largest int.
int parse_leading_digits(const char* text);

// The URL's last segment (a query stays in it), or the whole URL when it has
// no '/' after its first character.
int update_file_name(const char* url, char* name, int size);

// 1 when the name stays inside the folder it is put in: no drive, ':', '\',
// "..", and no leading '$' that would make it a path macro.
int update_file_name_safe(const char* name);

void update_download_start(UpdateDownload* download);

// Takes `received` bytes that landed at the write position (the buffer holds
// a zero byte after them). Returns 1 once the head is finished, with the body
// bytes of this piece in `body` and `body_length` (possibly none), or 0 while
// the head is still incomplete.
int update_download_take(UpdateDownload* download, char* buffer, int received, const char** body,
                         int* body_length);

// The outcome once the connection has ended: a 2xx status and, with an
// announced length, all of it; without one, at least one body byte. Logs a
// size mismatch.
int update_download_outcome(const UpdateDownload* download);

// --- Windows: the download and the launch ---------------------------------

// Saves the URL's last segment into the installation folder (the offer's
// saved file path). Returns 1 when the whole file arrived.
int update_download(InstallState* state, const char* url, int use_proxy, char* buffer,
                    int capacity);

enum { UPDATE_NO_WAIT = 0, UPDATE_WAIT = 1 };

// Starts a program through the shell and, with UPDATE_WAIT, waits for it. The
// exit code stays 0 when it did not start or was not waited for. Returns 1.
int execute_and_wait(const char* path, const char* parameters, int wait, int* exit_code);
