// HTTPS through the system's own TLS: WinHTTP, loaded from the system folder
// only when an https:// URL is fetched, so that the program starts on systems
// without it. WinHTTP rather than WinINet: it never shows a dialog of its own
// (WinINet may ask the user about a certificate), shares no browser cache or
// cookies, and takes the proxy that this program names, so the exchange keeps
// its order: the registry's proxy first (tunnelled with CONNECT), then direct.
// The system checks the certificate chain and the host name; nothing here
// relaxes either, and a failed exchange never falls back to plain HTTP.
#pragma once

enum {
    TLS_DEFAULT_PORT = 443,
    TLS_HEAD_SIZE = 4096, // the answer's head as WinHTTP hands it back
};

// The WinHTTP errors that the log names; every other code is "failed".
enum {
    TLS_ERROR_TIMEOUT = 12002,
    TLS_ERROR_NAME_NOT_RESOLVED = 12007,
    TLS_ERROR_CANNOT_CONNECT = 12029,
    TLS_ERROR_CONNECTION_ERROR = 12030,
    TLS_ERROR_DATE_INVALID = 12037,
    TLS_ERROR_HOST_NAME_INVALID = 12038,
    TLS_ERROR_UNTRUSTED_AUTHORITY = 12045,
    TLS_ERROR_REVOCATION_FAILED = 12057,
    TLS_ERROR_INVALID_SERVER_RESPONSE = 12152,
    TLS_ERROR_CHANNEL = 12157,
    TLS_ERROR_INVALID_CERTIFICATE = 12169,
    TLS_ERROR_REVOKED = 12170,
    TLS_ERROR_SECURE_FAILURE = 12175,
};

// 1 when the URL starts with "https://" (the scheme in any letter case).
int tls_url(const char* url);

// The port that the URL names, or TLS_DEFAULT_PORT; 0 for a URL whose
// authority is too long to read.
int tls_url_port(const char* url);

// Why an exchange failed, in this program's words; constant text.
const char* tls_failure_text(unsigned error);

// The error that the flags of a refused certificate stand for (the first
// of them that this program names); `error` itself when they name none.
unsigned tls_secure_failure(unsigned flags, unsigned error);

// --- Windows ---------------------------------------------------------------

struct TlsRequest;

// Sends the request and its body and waits for the answer's head. Logs
// "Contacting '%s' '%s' over TLS\n", the proxy line, and on failure why.
int tls_open(const char* url, const char* agent, const char* method, const char* body,
             int body_length, int use_proxy, TlsRequest** request);

// The answer's head ("HTTP/1.1 200 OK\r\n...\r\n\r\n") first, then its body;
// returns 0 with a count of 0 at the end or on a failed read (logged).
int tls_receive(TlsRequest* request, char* buffer, int capacity, int* received);

// Closes the handles and nulls the caller's pointer; safe with a null one.
int tls_close(TlsRequest** request);
