// Opening a request: the proxy from the registry, the connection, the head.
#include "core/log.h"
#include "net/http.h"
#include "net/tls.h"
#include "platform/registry.h"
#include "platform/window.h"

// The settings are read afresh on every request; a missing value means no proxy.
int http_read_proxy(int use_proxy, const char* entry_name, char* proxy, int size) {
    proxy[0] = '\0';
    RegKey key = nullptr;
    if (use_proxy != 1 || !reg_open_key(&key, REG_ROOT_CURRENT_USER, HTTP_SETTINGS_KEY)) {
        log_printf("Proxy Disabled (0x%.8X) : None\n", 0u);
        return 0;
    }
    int enable = 0;
    char server[HTTP_PROXY_SETTING_SIZE] = "";
    reg_get_integer(key, "ProxyEnable", &enable);
    reg_get_string(key, "ProxyServer", server, sizeof server);
    reg_close_key(&key);
    if (!http_proxy_entry(enable, server, entry_name, proxy, size)) {
        log_printf("Proxy Disabled (0x%.8X) : None\n", static_cast<unsigned>(enable));
        return 0;
    }
    log_printf("Proxy Enabled (0x%.8X) : %s\n", static_cast<unsigned>(enable), proxy);
    return 1;
}

int http_open_request(const char* url, const char* agent, const char* method, int body_length,
                      int use_proxy, SocketRecord** socket, char* head, int capacity,
                      int* head_length) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(method);
    CORE_ASSERT_POINTER(socket);
    CORE_ASSERT_POINTER(head);
    CORE_ASSERT_POINTER(head_length);
    update_progress(0.0);
    HttpUrl parts;
    if (!http_split_url(url, &parts)) {
        log_printf("Unable to get machine for URL '%s'\n", url);
        return 0;
    }
    update_progress(20.0);
    log_printf("Contacting '%s' '%s'\n", parts.site, parts.path);

    char proxy[HTTP_URL_SIZE];
    int proxied = http_read_proxy(use_proxy, "http=", proxy, sizeof proxy);
    const char* machine_url = proxied ? proxy : url;
    HostRecord machine;
    if (!sock_host_from_url(&machine, machine_url)) {
        log_printf("Unable to get machine for URL '%s'\n", machine_url);
        return 0;
    }
    // A URL without a path still asks for the server's root.
    const char* target = proxied ? url : (parts.path[0] ? parts.path : "/");
    if (!http_compose_head(head, capacity, method, target, agent, parts.host, body_length,
                           head_length)) {
        log_printf("Request head does not fit in %d bytes for URL '%s'\n", capacity, url);
        return 0;
    }
    update_progress(40.0);

    SocketRecord* connection = nullptr;
    sock_new(&connection);
    sock_open(connection, SOCK_PROTOCOL_TCP);
    if (!sock_connect(connection, machine.address, machine.port)) {
        log_printf("Unable to connect to machine %d.%d.%d.%d:%d for URL '%s'\n", machine.address[0],
                   machine.address[1], machine.address[2], machine.address[3], machine.port, url);
        sock_close(connection);
        sock_free(&connection);
        return 0;
    }
    *socket = connection;
    return 1;
}

int http_send_all(SocketRecord* socket, const char* bytes, int length) {
    CORE_ASSERT_POINTER(bytes);
    int sent = 0;
    while (sent < length) {
        int count = 0;
        if (!sock_send(socket, bytes + sent, length - sent, &count)) {
            return 0;
        }
        sent += count;
    }
    return 1;
}

int http_exchange_start(const char* url, const char* agent, const char* method, const char* body,
                        int body_length, int use_proxy, HttpExchange* exchange, char* head,
                        int capacity) {
    CORE_ASSERT_POINTER(url);
    CORE_ASSERT_POINTER(exchange);
    exchange->socket = nullptr;
    exchange->tls = nullptr;
    if (tls_url(url)) {
        return tls_open(url, agent, method, body, body_length, use_proxy, &exchange->tls);
    }
    int head_length = 0;
    if (!http_open_request(url, agent, method, body_length, use_proxy, &exchange->socket, head,
                           capacity, &head_length)) {
        return 0;
    }
    if (!http_send_all(exchange->socket, head, head_length)) {
        log_printf("Unable to output header (%s)\n", sock_error_text(exchange->socket));
    } else if (body_length > 0 && !http_send_all(exchange->socket, body, body_length)) {
        log_printf("Unable to output Encode (%s)\n", sock_error_text(exchange->socket));
    } else {
        return 1;
    }
    http_exchange_end(exchange);
    return 0;
}

int http_exchange_receive(HttpExchange* exchange, char* buffer, int capacity, int* received) {
    CORE_ASSERT_POINTER(exchange);
    if (exchange->tls) {
        return tls_receive(exchange->tls, buffer, capacity, received);
    }
    return sock_receive(exchange->socket, buffer, capacity, received);
}

int http_exchange_end(HttpExchange* exchange) {
    CORE_ASSERT_POINTER(exchange);
    if (exchange->socket) {
        sock_shutdown(exchange->socket);
        sock_close(exchange->socket);
        sock_free(&exchange->socket);
    }
    return tls_close(&exchange->tls);
}
