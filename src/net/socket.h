// Socket layer over Windows Sockets 1.1: host records, TCP sockets with
// bounded waits, and English texts for socket error codes.
//
// Every operation returns 1 for success and 0 for failure unless its comment
// says otherwise. A null required pointer (URL, name, buffer, out counter,
// the out pointer of sock_new and sock_free) is a fatal stop; a missing
// socket record only makes the operation fail quietly.
//
// One exchange: sock_new, sock_open(SOCK_PROTOCOL_TCP), sock_connect, any
// sock_send and sock_receive, sock_shutdown, sock_close, sock_free.
#pragma once

enum {
    SOCK_HOST_NAME_SIZE = 256,
    SOCK_DEFAULT_TIMEOUT_MS = 300000,
    SOCK_SET_CAPACITY = 64,
    SOCK_SCHEME_SIZE = 40,
    SOCK_AUTHORITY_LIMIT = 120, // an authority of 120 characters or more is refused
};

// Protocol codes of sock_open; the program itself only opens TCP.
enum {
    SOCK_PROTOCOL_TCP = 1,
    SOCK_PROTOCOL_UDP = 2,
};

enum {
    SOCK_ERROR_NONE = 0,
    SOCK_ERROR_WOULD_BLOCK = 10035, // the one error after which a transfer may be retried
};

#define SOCK_NO_HANDLE 0xFFFFFFFFu

// A machine: the log calls it so.
struct HostRecord {
    char name[SOCK_HOST_NAME_SIZE]; // official name, local name, or "Unknown"
    unsigned char address[4];       // IPv4, first octet first
    int port;                       // host order; 0 when neither URL nor scheme gives one
};

struct SocketRecord {
    unsigned handle;        // SOCK_NO_HANDLE when no socket is open
    int receive_timeout_ms; // each wait before a receive
    int send_timeout_ms;    // each wait before a send, and the connection wait
    int protocol;           // code of the open socket; 0 before opening or after a failure
    unsigned char peer_address[4];
    int peer_port;
};

// The same layout as Windows Sockets' fd_set: a count and 64 handles.
struct SocketSet {
    unsigned count;
    unsigned handles[SOCK_SET_CAPACITY];
};

int sock_startup();
int sock_cleanup();

int sock_local_host(HostRecord* host);
int sock_host_from_url(HostRecord* host, const char* url);
int sock_host_by_name(HostRecord* host, const char* name);
int sock_host_by_address(HostRecord* host, const unsigned char address[4]);
// Reads exactly four dot-separated decimal parts, each kept to its low 8
// bits; the output is untouched unless the text is a dotted address.
int sock_parse_dotted(const char* text, unsigned char address[4]);

int sock_new(SocketRecord** socket);
int sock_free(SocketRecord** socket);
int sock_open(SocketRecord* socket, int protocol);
int sock_connect(SocketRecord* socket, const unsigned char address[4], int port);
int sock_send(SocketRecord* socket, const char* bytes, int length, int* sent);
// Appends nothing: callers that want text terminate it themselves. Returns 0
// with a count of 0 once the peer has closed the connection.
int sock_receive(SocketRecord* socket, char* buffer, int capacity, int* received);
int sock_shutdown(SocketRecord* socket);
int sock_close(SocketRecord* socket);
enum { SOCK_NONBLOCKING = 0, SOCK_BLOCKING = 1 };
int sock_set_blocking(SocketRecord* socket, int blocking);
int sock_wait(SocketSet* read, SocketSet* write, SocketSet* error, int timeout_ms, int* ready);

int sock_set_clear(SocketSet* set);
int sock_set_add(SocketSet* set, const SocketRecord* socket);
int sock_set_has(SocketSet* set, const SocketRecord* socket);

// The socket's pending error, or the thread's last socket error. Returns the code.
int sock_error_value(SocketRecord* socket);
// The English text of sock_error_value's code; constant, owned by the layer.
const char* sock_error_text(SocketRecord* socket);

// --- Portable pieces, shared by the Windows code and the host tests ---------

// The text of an error code; an unknown code is logged and gets "Unknown error code".
const char* sock_error_describe(int code);

// A URL's scheme, host text and port text as sock_host_from_url reads them.
struct SockUrlParts {
    char scheme[SOCK_SCHEME_SIZE]; // empty when the URL has none or it is too long to be known
    char host[SOCK_AUTHORITY_LIMIT];
    char port[SOCK_AUTHORITY_LIMIT];
    int has_port; // 1 when a ':' followed the host, even with nothing behind it
};
// 0 when the authority holds 120 characters or more. The port starts at the
// host's first ':', where http_split_url's Host line ends at the last one
// (http.h says why the two stay apart).
int sock_url_split(const char* url, SockUrlParts* parts);
// The port that a scheme implies (case-insensitive); 0 for an empty or unknown one.
int sock_scheme_port(const char* scheme);
// The standard text-to-integer reading: blanks, an optional sign, digits;
// saturating beyond 32 bits (text_decimal_saturating).
int sock_decimal(const char* text);
// A wait's time-out as select takes it: whole seconds and the rest in microseconds.
void sock_split_timeout(int timeout_ms, long* seconds, long* microseconds);
