// The parts of a download that only read bytes.
#include "update/download.h"

#include "core/log.h"
#include "core/text.h"

namespace {

int is_blank_or_control(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

const char g_head_end[] = "\r\n\r\n";
const char g_length_field[] = "Content-Length:";
const int g_length_field_size = 15;
const int g_status_line_size = 80;

// The first CR LF CR LF in bytes [0, length), or -1.
int find_head_end(const char* bytes, int length) {
    for (int i = 0; i + 4 <= length; ++i) {
        if (text_compare_n(bytes + i, g_head_end, 4)) {
            return i;
        }
    }
    return -1;
}

// The announced length, looked for in the head only: a body may hold anything.
int head_content_length(const char* head, int head_length) {
    for (int i = 0; i + g_length_field_size <= head_length; ++i) {
        if (text_compare_n_nocase(head + i, g_length_field, g_length_field_size)) {
            const char* value = head + i + g_length_field_size;
            const char* end = head + head_length;
            while (value < end && is_blank_or_control(*value)) {
                ++value;
            }
            return value < end ? parse_leading_digits(value) : 0;
        }
    }
    return -1;
}

// "HTTP/" and a version, a blank, and a status of 200 to 299.
int status_says_file(const char* head, int head_length) {
    if (head_length < 5 || !text_compare_n(head, "HTTP/", 5)) {
        return 0;
    }
    int at = 5;
    while (at < head_length && !is_blank_or_control(head[at])) {
        ++at;
    }
    if (at + 4 > head_length || head[at] != ' ') {
        return 0;
    }
    int status = parse_leading_digits(head + at + 1);
    return status >= 200 && status <= 299;
}

// The status line for the log, cut at its end or at `size`.
void status_line(const char* head, char* line, int size) {
    int i = 0;
    for (; i < size - 1 && static_cast<unsigned char>(head[i]) >= 0x20; ++i) {
        line[i] = head[i];
    }
    line[i] = '\0';
}

} // namespace

int parse_leading_digits(const char* text) {
    return text ? text_digits_saturating(text, UPDATE_DIGITS_LIMIT) : 0;
}

int update_file_name(const char* url, char* name, int size) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(name);
    const char* start = url;
    for (const char* at = url[0] ? url + 1 : url; *at != '\0'; ++at) {
        if (*at == '/') {
            start = at + 1;
        }
    }
    return text_copy(name, size, start);
}

int update_file_name_safe(const char* name) {
    CORE_ASSERT_POINTER(name);
    const char* found = nullptr;
    if (name[0] == '$' || text_find(name, "..", &found)) {
        return 0;
    }
    for (const char* at = name; *at != '\0'; ++at) {
        if (*at == '\\' || *at == ':') {
            return 0;
        }
    }
    return 1;
}

void update_download_start(UpdateDownload* download) {
    CORE_ASSERT_POINTER(download);
    download->head_finished = 0;
    download->answered = 0;
    download->content_length = 0;
    download->written = 0;
    download->body_seen = 0;
    download->write_position = 0;
}

int update_download_take(UpdateDownload* download, char* buffer, int received, const char** body,
                         int* body_length) {
    CORE_ASSERT_POINTER(download);
    CORE_ASSERT_POINTER(buffer);
    CORE_ASSERT_POINTER(body);
    CORE_ASSERT_POINTER(body_length);
    *body = buffer + download->write_position;
    *body_length = received;
    if (!download->head_finished) {
        int total = download->write_position + received;
        int end = find_head_end(buffer, total);
        if (end < 0) {
            download->write_position = total;
            return 0;
        }
        int length = head_content_length(buffer, end + 2);
        if (length >= 0) {
            download->content_length = length;
            log_printf("Filesize = %d (%dk)\n", length, length / 1024);
        }
        download->answered = status_says_file(buffer, end + 2);
        if (!download->answered) {
            char line[g_status_line_size];
            status_line(buffer, line, sizeof line);
            log_printf("No file in the answer '%s'\n", line);
        }
        download->head_finished = 1;
        download->write_position = end + 4;
        *body = buffer + download->write_position;
        *body_length = total - download->write_position;
    }
    if (!download->answered) {
        *body_length = 0;
    }
    if (*body_length > 0) {
        download->body_seen = 1;
    }
    return 1;
}

int update_download_outcome(const UpdateDownload* download) {
    CORE_ASSERT_POINTER(download);
    if (!download->answered) {
        return 0;
    }
    if (download->content_length != 0) {
        if (download->content_length == download->written) {
            return 1;
        }
        log_printf("Sizes to not match (%d != %d)\n", download->content_length, download->written);
        return 0;
    }
    return download->body_seen;
}
