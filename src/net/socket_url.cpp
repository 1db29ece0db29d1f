// Host records from URLs and dotted addresses: the parts that only read text.
#include "core/log.h"
#include "core/text.h"
#include "net/socket.h"

namespace {

struct SchemePort {
    const char* scheme;
    int port;
};

// "https" gets 80 as well: the layer speaks no TLS, the scheme only picks the port.
const SchemePort g_scheme_ports[] = {
    {"http", 80}, {"https", 80}, {"ftp", 21}, {"telnet", 23}, {"shout", 8000},
};

} // namespace

int sock_decimal(const char* text) {
    return text_decimal_saturating(text);
}

int sock_scheme_port(const char* scheme) {
    CORE_ASSERT_POINTER(scheme);
    for (const SchemePort& row : g_scheme_ports) {
        if (text_equal_nocase(scheme, row.scheme)) {
            return row.port;
        }
    }
    return 0;
}

void sock_split_timeout(int timeout_ms, long* seconds, long* microseconds) {
    *seconds = timeout_ms / 1000;
    *microseconds = (timeout_ms % 1000) * 1000L;
}

int sock_parse_dotted(const char* text, unsigned char address[4]) {
    CORE_ASSERT_POINTER(text);
    CORE_ASSERT_POINTER(address);
    unsigned char parts[4];
    int dots = 0;
    const char* part = text;
    const char* at = text;
    for (; *at != '\0'; ++at) {
        if (*at == '.') {
            if (dots == 3) {
                return 0;
            }
            parts[dots++] = static_cast<unsigned char>(
                text_digits_saturating(part, static_cast<int>(at - part)) & 0xFF);
            part = at + 1;
        } else if (!text_is_digit(*at)) {
            return 0;
        }
    }
    if (dots != 3) {
        return 0;
    }
    parts[3] = static_cast<unsigned char>(
        text_digits_saturating(part, static_cast<int>(at - part)) & 0xFF);
    for (int i = 0; i < 4; ++i) {
        address[i] = parts[i];
    }
    return 1;
}

int sock_url_split(const char* url, SockUrlParts* parts) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(parts);
    parts->scheme[0] = '\0';
    parts->host[0] = '\0';
    parts->port[0] = '\0';
    parts->has_port = 0;

    const char* authority = url;
    const char* separator = nullptr;
    if (text_find(url, "://", &separator)) {
        authority = separator + 3;
        int length = static_cast<int>(separator - url);
        // A longer text is no scheme that we know: it gives no default port.
        if (length < SOCK_SCHEME_SIZE) {
            for (int i = 0; i < length; ++i) {
                parts->scheme[i] = url[i];
            }
            parts->scheme[length] = '\0';
        }
    }

    int stop = 0;
    int host_start = 0;
    for (; authority[stop] != '\0' && authority[stop] != '/'; ++stop) {
        if (stop + 1 >= SOCK_AUTHORITY_LIMIT) {
            return 0;
        }
        if (authority[stop] == '@') {
            host_start = stop + 1;
        }
    }

    char* out = parts->host;
    for (int i = host_start; i < stop; ++i) {
        if (authority[i] == ':' && !parts->has_port) {
            *out = '\0';
            parts->has_port = 1;
            out = parts->port;
            continue;
        }
        *out++ = authority[i];
    }
    *out = '\0';
    return 1;
}

int sock_host_from_url(HostRecord* host, const char* url) {
    CORE_ASSERT_POINTER(host);
    CORE_ASSERT_POINTER(url);
    SockUrlParts parts;
    if (!sock_url_split(url, &parts)) {
        return 0;
    }
    unsigned char address[4];
    if (sock_parse_dotted(parts.host, address)) {
        if (!sock_host_by_address(host, address)) {
            for (int i = 0; i < 4; ++i) {
                host->address[i] = address[i];
            }
            text_copy(host->name, sizeof host->name, "Unknown");
        }
    } else if (!sock_host_by_name(host, parts.host)) {
        return 0;
    }
    host->port = parts.has_port ? sock_decimal(parts.port) : sock_scheme_port(parts.scheme);
    return 1;
}
