#include "tls_listener.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "service.h"

struct TlsListener {
    std::unique_ptr<httplib::SSLServer> server;
    int port = -1;
    std::mutex mutex;
    bool stopping = false;
    bool running = false;
    std::atomic<bool> finished{false};
};

TlsListener* tls_listener_open(Service* service, const TlsListenerConfig& config,
                               std::string* error) {
    std::unique_ptr<TlsListener> listener(new TlsListener);
    listener->server.reset(
        new httplib::SSLServer(config.cert_path.c_str(), config.key_path.c_str()));
    httplib::SSLServer& server = *listener->server;
    if (!server.is_valid()) {
        *error = "cannot use the certificate '" + config.cert_path + "' with the key '" +
                 config.key_path + "' (unreadable, not PEM, or not a pair)";
        return nullptr;
    }
    // Older protocols have known weaknesses, and every system with WinHTTP's
    // current TLS speaks 1.2.
    SSL_CTX_set_min_proto_version(server.ssl_context(), TLS1_2_VERSION);
    // As the plain listener: a taken port is an error, not a shared one.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    service_add_routes(service, server);
    listener->port = config.port == 0 ? server.bind_to_any_port(config.host)
                     : server.bind_to_port(config.host, config.port) ? config.port
                                                                     : -1;
    if (listener->port < 0) {
        *error = "cannot listen on " + config.host + " port " + std::to_string(config.port) +
                 " for TLS (taken, or not an address of this machine)";
        return nullptr;
    }
    return listener.release();
}

int tls_listener_port(const TlsListener* listener) {
    return listener->port;
}

bool tls_listener_run(TlsListener* listener) {
    {
        std::lock_guard<std::mutex> lock(listener->mutex);
        if (listener->stopping) {
            return true;
        }
        listener->running = true;
    }
    bool good = listener->server->listen_after_bind();
    listener->finished = true;
    return good;
}

void tls_listener_stop(TlsListener* listener) {
    {
        std::lock_guard<std::mutex> lock(listener->mutex);
        if (listener->stopping) {
            return;
        }
        listener->stopping = true;
        if (!listener->running) {
            return;
        }
    }
    // The library's stop does nothing until its accepting loop has begun.
    while (!listener->server->is_running() && !listener->finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    listener->server->stop();
}

void tls_listener_close(TlsListener* listener) {
    delete listener;
}
