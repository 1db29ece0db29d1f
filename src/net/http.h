// HTTP/1.0 requests: the URL's parts, the system proxy, the request head, and
// the connected socket that the caller sends the head and any body through.
//
// The exchange: http_open_request; http_send_all of the head (on failure the
// caller logs "Unable to output header (%s)\n"); http_send_all of a body;
// sock_receive until it returns 0; sock_shutdown, sock_close, sock_free.
#pragma once

#include "net/socket.h"

enum { HTTP_URL_SIZE = 320, HTTP_PROXY_SETTING_SIZE = 160 };

#define HTTP_SETTINGS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"

// The parts of a URL that a request needs. The authority is the text after
// "://" (or the whole URL without one) up to the first '/'; its port is the
// text after the last ':' that follows any user name and '@'.
struct HttpUrl {
    char path[HTTP_URL_SIZE]; // from the first '/' after the host to the end; empty without one
    char site[HTTP_URL_SIZE]; // up to the host's '/', without the port: only for the log
    char host[HTTP_URL_SIZE]; // the authority without user name and port: the Host line
};

// 0 when the URL has more than HTTP_URL_SIZE - 1 characters.
// Not sock_url_split, on purpose: this one gives the request its own texts
// (path, log site, Host line) and cuts the port at the authority's last ':',
// within a whole URL's limit; the socket layer finds the machine, cutting at
// the first ':' after the host starts, within the authority's limit. They
// agree on every URL with at most one ':' after its '@': "h:1:2" is Host "h:1"
// here and the machine "h" there, as the installed programs have always sent.
int http_split_url(const char* url, HttpUrl* parts);

// The proxy named by the Internet settings: only when `enable` is exactly 1
// and `server` is not empty. `server` is "host:port" for every protocol or a
// list "protocol=host:port;..." from which the "http=" entry is taken.
// Returns 1 with the proxy text, or 0 with an empty one.
int http_proxy_text(int enable, const char* server, char* proxy, int size);
// The same for the entry `entry_name` ("https=" for the TLS requests).
int http_proxy_entry(int enable, const char* server, const char* entry_name, char* proxy, int size);

// Reads the Internet settings (only when `use_proxy` is 1) and logs whether a
// proxy is used. Returns 1 with the proxy text of `entry_name`, or 0.
int http_read_proxy(int use_proxy, const char* entry_name, char* proxy, int size);

// The request head, zero-terminated; `target` is the path for a direct
// request and the whole URL for one through the proxy. The agent line is left
// out for a null agent and the length line for a body length of 0 or less.
// Returns 0 when the head does not fit in `capacity` bytes.
int http_compose_head(char* head, int capacity, const char* method, const char* target,
                      const char* agent, const char* host, int body_length, int* head_length);

// Connects to the proxy (when `use_proxy` is 1 and the settings name one) or to
// the URL's machine and composes the head into `head`. On success the caller
// owns `*socket`; nothing has been sent yet.
int http_open_request(const char* url, const char* agent, const char* method, int body_length,
                      int use_proxy, SocketRecord** socket, char* head, int capacity,
                      int* head_length);

// Sends every byte; 0 as soon as one send fails.
int http_send_all(SocketRecord* socket, const char* bytes, int length);

// One exchange on either road: a socket for an http:// URL, the system's TLS
// for an https:// one (net/tls.h). Exactly one of the two is set while open.
struct TlsRequest;
struct HttpExchange {
    SocketRecord* socket;
    TlsRequest* tls;
};

// Opens the exchange and sends the request with its body: over a socket, the
// head ("Unable to output header (%s)\n" when it cannot go out) and then the
// body ("Unable to output Encode (%s)\n"). `head` is the caller's work buffer.
// On failure nothing stays open.
int http_exchange_start(const char* url, const char* agent, const char* method, const char* body,
                        int body_length, int use_proxy, HttpExchange* exchange, char* head,
                        int capacity);

// The answer's next bytes, its head first (as a server sends it); 0 with a
// count of 0 at its end.
int http_exchange_receive(HttpExchange* exchange, char* buffer, int capacity, int* received);

// Ends the exchange; safe on one that is not open.
int http_exchange_end(HttpExchange* exchange);
