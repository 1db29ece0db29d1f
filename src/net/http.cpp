// The parts of an HTTP request that only compose and read text.
#include "net/http.h"

#include "core/log.h"
#include "core/text.h"

namespace {

// Copies `count` bytes of `source` and terminates; `size` bounds the copy.
void copy_span(char* destination, int size, const char* source, int count) {
    int i = 0;
    for (; i < count && i < size - 1; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
}

} // namespace

int http_split_url(const char* url, HttpUrl* parts) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(parts);
    parts->path[0] = '\0';
    parts->site[0] = '\0';
    parts->host[0] = '\0';
    if (text_length(url) >= HTTP_URL_SIZE) {
        return 0;
    }

    const char* authority = url;
    const char* separator = nullptr;
    if (text_find(url, "://", &separator)) {
        authority = separator + 3;
    }
    const char* stop = authority;
    const char* host = authority;
    const char* colon = nullptr;
    for (; *stop != '\0' && *stop != '/'; ++stop) {
        if (*stop == '@') {
            host = stop + 1;
            colon = nullptr;
        } else if (*stop == ':') {
            colon = stop;
        }
    }

    text_copy(parts->path, sizeof parts->path, stop);
    if (colon) {
        copy_span(parts->site, sizeof parts->site, url, static_cast<int>(colon - url));
        text_append(parts->site, sizeof parts->site, "/");
    } else {
        copy_span(parts->site, sizeof parts->site, url,
                  static_cast<int>(stop - url) + (*stop == '/' ? 1 : 0));
    }
    copy_span(parts->host, sizeof parts->host, host,
              static_cast<int>((colon ? colon : stop) - host));
    return 1;
}

int http_proxy_text(int enable, const char* server, char* proxy, int size) {
    return http_proxy_entry(enable, server, "http=", proxy, size);
}

int http_proxy_entry(int enable, const char* server, const char* entry_name, char* proxy,
                     int size) {
    CORE_ASSERT_POINTER(server);
    CORE_ASSERT_POINTER(entry_name);
    CORE_ASSERT_POINTER(proxy);
    proxy[0] = '\0';
    if (enable != 1 || server[0] == '\0') {
        return 0;
    }
    const char* start = server;
    const char* entry = nullptr;
    if (text_find_nocase(server, entry_name, &entry)) {
        start = entry + text_length(entry_name);
    }
    int length = 0;
    while (start[length] != '\0' && start[length] != ';') {
        ++length;
    }
    copy_span(proxy, size, start, length);
    return 1;
}

int http_compose_head(char* head, int capacity, const char* method, const char* target,
                      const char* agent, const char* host, int body_length, int* head_length) {
    CORE_ASSERT_POINTER(head);
    CORE_ASSERT_POINTER(method);
    CORE_ASSERT_POINTER(target);
    CORE_ASSERT_POINTER(host);
    CORE_ASSERT_POINTER(head_length);
    *head_length = 0;
    if (capacity <= 0) {
        return 0;
    }
    head[0] = '\0';
    char line[HTTP_URL_SIZE + 64];
    int fits = text_format(line, sizeof line, "%s %s HTTP/1.0\r\n", method, target) &&
               text_append(head, capacity, line);
    if (agent) {
        fits = fits && text_format(line, sizeof line, "User-Agent: %s\r\n", agent) &&
               text_append(head, capacity, line);
    }
    fits = fits && text_format(line, sizeof line, "Host: %s\r\n", host) &&
           text_append(head, capacity, line);
    if (body_length > 0) {
        fits = fits && text_format(line, sizeof line, "Content-Length: %d\r\n", body_length) &&
               text_append(head, capacity, line);
    }
    fits = fits && text_append(head, capacity, "Connection: closed\r\n\r\n");
    if (!fits) {
        head[0] = '\0';
        return 0;
    }
    *head_length = text_length(head);
    return 1;
}
