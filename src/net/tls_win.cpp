// The TLS road over WinHTTP, loaded from the system folder on first use.
#include <windows.h>

#include <winhttp.h>

#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"
#include "net/http.h"
#include "net/tls.h"
#include "platform/library.h"
#include "platform/window.h"

struct TlsRequest {
    HINTERNET session;
    HINTERNET connection;
    HINTERNET request;
    int head_given;
};

namespace {

struct WinHttp {
    decltype(&WinHttpOpen) open;
    decltype(&WinHttpConnect) connect;
    decltype(&WinHttpOpenRequest) open_request;
    decltype(&WinHttpSetTimeouts) set_timeouts;
    decltype(&WinHttpSetOption) set_option;
    decltype(&WinHttpSendRequest) send_request;
    decltype(&WinHttpReceiveResponse) receive_response;
    decltype(&WinHttpQueryHeaders) query_headers;
    decltype(&WinHttpReadData) read_data;
    decltype(&WinHttpCloseHandle) close_handle;
    decltype(&WinHttpSetStatusCallback) set_callback;
};

WinHttp g_api;
int g_loaded;
unsigned g_refused_flags; // of the certificate that the last handshake refused

// It stays loaded for the rest of the run.
int load_winhttp() {
    static const char names[] =
        "WinHttpOpen\0WinHttpConnect\0WinHttpOpenRequest\0WinHttpSetTimeouts\0"
        "WinHttpSetOption\0WinHttpSendRequest\0WinHttpReceiveResponse\0WinHttpQueryHeaders\0"
        "WinHttpReadData\0WinHttpCloseHandle\0WinHttpSetStatusCallback";
    Library library = nullptr;
    g_loaded =
        g_loaded || library_load_system("winhttp.dll", names, sizeof(WinHttp) / sizeof(FARPROC),
                                        reinterpret_cast<void (**)()>(&g_api), &library);
    return g_loaded;
}

// URLs, agents and methods are ASCII: each byte becomes one character.
void widen(const char* text, WCHAR* wide, int size) {
    int i = 0;
    for (; text[i] != '\0' && i < size - 1; ++i) {
        wide[i] = static_cast<unsigned char>(text[i]);
    }
    wide[i] = 0;
}

// A synchronous request tells why a certificate was refused only here.
void CALLBACK on_secure_failure(HINTERNET, DWORD_PTR, DWORD, LPVOID information, DWORD length) {
    if (information && length >= sizeof(DWORD)) {
        g_refused_flags = *static_cast<DWORD*>(information);
    }
}

int fail(TlsRequest** request, const char* url) {
    unsigned error = tls_secure_failure(g_refused_flags, static_cast<unsigned>(GetLastError()));
    log_printf("TLS exchange failed for URL '%s': %s (%u)\n", url, tls_failure_text(error), error);
    tls_close(request);
    return 0;
}

// Every wait as long as the socket road's, downloads included.
int prepare_session(HINTERNET session) {
    // TLS 1.2 and later, also where the system's default still stops at 1.0;
    // a system that knows no 1.3 is asked for 1.2 alone.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!g_api.set_option(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        g_api.set_option(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    g_api.set_callback(session, on_secure_failure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    return g_api.set_timeouts(session, SOCK_DEFAULT_TIMEOUT_MS, SOCK_DEFAULT_TIMEOUT_MS,
                              SOCK_DEFAULT_TIMEOUT_MS, SOCK_DEFAULT_TIMEOUT_MS);
}

} // namespace

int tls_open(const char* url, const char* agent, const char* method, const char* body,
             int body_length, int use_proxy, TlsRequest** request) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(method);
    CORE_ASSERT_POINTER(request);
    update_progress(0.0);
    HttpUrl parts;
    int port = tls_url_port(url);
    if (!http_split_url(url, &parts) || port == 0) {
        log_printf("Unable to get machine for URL '%s'\n", url);
        return 0;
    }
    update_progress(20.0);
    log_printf("Contacting '%s' '%s' over TLS\n", parts.site, parts.path);
    char proxy[HTTP_URL_SIZE];
    int proxied = http_read_proxy(use_proxy, "https=", proxy, sizeof proxy);
    if (!load_winhttp()) {
        log_printf("No TLS on this system (0x%.8X) for URL '%s'\n",
                   static_cast<unsigned>(GetLastError()), url);
        return 0;
    }
    *request = static_cast<TlsRequest*>(MEM_ALLOC(sizeof(TlsRequest)));
    TlsRequest* open = *request;
    WCHAR agent_wide[HTTP_URL_SIZE];
    WCHAR proxy_wide[HTTP_URL_SIZE];
    widen(agent ? agent : "", agent_wide, HTTP_URL_SIZE);
    widen(proxy, proxy_wide, HTTP_URL_SIZE);
    open->session =
        g_api.open(agent ? agent_wide : nullptr,
                   proxied ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                   proxied ? proxy_wide : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    g_refused_flags = 0;
    if (!open->session || !prepare_session(open->session)) {
        return fail(request, url);
    }
    WCHAR wide[HTTP_URL_SIZE];
    widen(parts.host, wide, HTTP_URL_SIZE);
    open->connection = g_api.connect(open->session, wide, static_cast<INTERNET_PORT>(port), 0);
    if (!open->connection) {
        return fail(request, url);
    }
    WCHAR method_wide[8];
    widen(method, method_wide, 8);
    // A URL without a path still asks for the server's root.
    widen(parts.path[0] ? parts.path : "/", wide, HTTP_URL_SIZE);
    open->request =
        g_api.open_request(open->connection, method_wide, wide, nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    update_progress(40.0);
    DWORD length = body_length > 0 ? static_cast<DWORD>(body_length) : 0;
    // A context other than 0, so that every system calls on_secure_failure.
    if (!open->request ||
        !g_api.send_request(open->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            const_cast<char*>(length ? body : nullptr), length, length, 1) ||
        !g_api.receive_response(open->request, nullptr)) {
        return fail(request, url);
    }
    return 1;
}

int tls_receive(TlsRequest* request, char* buffer, int capacity, int* received) {
    CORE_ASSERT_POINTER(request);
    CORE_ASSERT_POINTER(buffer);
    CORE_ASSERT_POINTER(received);
    *received = 0;
    if (!request->head_given) {
        // The head as a server sends it, so the callers read it as on the
        // socket road: status line, headers, and the empty line.
        static WCHAR s_head[TLS_HEAD_SIZE];
        DWORD size = sizeof s_head - 4 * sizeof(WCHAR);
        request->head_given = 1;
        if (!g_api.query_headers(request->request, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                                 WINHTTP_HEADER_NAME_BY_INDEX, s_head, &size,
                                 WINHTTP_NO_HEADER_INDEX)) {
            return 0;
        }
        int length = static_cast<int>(size / sizeof(WCHAR));
        while (length > 0 && (s_head[length - 1] == '\r' || s_head[length - 1] == '\n')) {
            --length;
        }
        const WCHAR end[] = {'\r', '\n', '\r', '\n'};
        for (int i = 0; i < 4; ++i) {
            s_head[length++] = end[i];
        }
        for (int i = 0; i < length && i < capacity; ++i) {
            buffer[i] = static_cast<char>(s_head[i]);
        }
        *received = length < capacity ? length : capacity;
        return 1;
    }
    DWORD read = 0;
    if (!g_api.read_data(request->request, buffer, static_cast<DWORD>(capacity), &read)) {
        unsigned error = static_cast<unsigned>(GetLastError());
        log_printf("TLS read failed: %s (%u)\n", tls_failure_text(error), error);
        return 0;
    }
    *received = static_cast<int>(read);
    return read > 0;
}

int tls_close(TlsRequest** request) {
    CORE_ASSERT_POINTER(request);
    TlsRequest* open = *request;
    if (open) {
        const HINTERNET handles[] = {open->request, open->connection, open->session};
        for (HINTERNET handle : handles) {
            if (handle) {
                g_api.close_handle(handle);
            }
        }
        MEM_RETURN(open, sizeof(TlsRequest));
    }
    *request = nullptr;
    return 1;
}
