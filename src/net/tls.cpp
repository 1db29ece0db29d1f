// What the TLS road reads from URLs and says about failures.
#include "net/tls.h"

#include "core/log.h"
#include "core/text.h"
#include "net/socket.h"

namespace {

struct TlsFailure {
    unsigned error;
    const char* text;
};

const TlsFailure g_failures[] = {
    {TLS_ERROR_UNTRUSTED_AUTHORITY, "untrusted certificate authority"},
    {TLS_ERROR_HOST_NAME_INVALID, "certificate for another host name"},
    {TLS_ERROR_DATE_INVALID, "certificate expired or not yet valid"},
    {TLS_ERROR_INVALID_CERTIFICATE, "invalid certificate"},
    {TLS_ERROR_REVOKED, "certificate revoked"},
    {TLS_ERROR_REVOCATION_FAILED, "certificate revocation unknown"},
    {TLS_ERROR_SECURE_FAILURE, "certificate refused"},
    {TLS_ERROR_CHANNEL, "TLS handshake failed"},
    {TLS_ERROR_INVALID_SERVER_RESPONSE, "no valid answer from the server"},
    {TLS_ERROR_CONNECTION_ERROR, "connection broken"},
    {TLS_ERROR_CANNOT_CONNECT, "unable to connect"},
    {TLS_ERROR_NAME_NOT_RESOLVED, "host name not found"},
    {TLS_ERROR_TIMEOUT, "timed out"},
};

// The flags of a refused certificate, in WinHTTP's order of their bits.
const unsigned g_flag_errors[][2] = {
    {0x08, TLS_ERROR_UNTRUSTED_AUTHORITY},
    {0x10, TLS_ERROR_HOST_NAME_INVALID},
    {0x20, TLS_ERROR_DATE_INVALID},
    {0x02, TLS_ERROR_INVALID_CERTIFICATE},
    {0x04, TLS_ERROR_REVOKED},
    {0x01, TLS_ERROR_REVOCATION_FAILED},
    {0x80000000u, TLS_ERROR_CHANNEL},
};

} // namespace

int tls_url(const char* url) {
    CORE_ASSERT_POINTER(url);
    return text_compare_n_nocase(url, "https://", 8);
}

int tls_url_port(const char* url) {
    CORE_ASSERT_POINTER(url);
    SockUrlParts parts;
    if (!sock_url_split(url, &parts)) {
        return 0;
    }
    return parts.has_port ? sock_decimal(parts.port) : TLS_DEFAULT_PORT;
}

const char* tls_failure_text(unsigned error) {
    for (const TlsFailure& row : g_failures) {
        if (row.error == error) {
            return row.text;
        }
    }
    return "failed";
}

unsigned tls_secure_failure(unsigned flags, unsigned error) {
    for (const auto& row : g_flag_errors) {
        if (flags & row[0]) {
            return row[1];
        }
    }
    return error;
}
