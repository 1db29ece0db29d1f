// makerd's HTTPS listener: the service's routes over TLS 1.2 or later, beside
// the plain listener that the programs already in the field keep using.
#pragma once

#include <string>

struct Service;
struct TlsListener;

struct TlsListenerConfig {
    std::string host;
    int port = 0;          // 0: any free port
    std::string cert_path; // PEM, the server's certificate first, then its chain
    std::string key_path;  // PEM
};

// Loads the certificate and key and binds the address; null with the reason.
TlsListener* tls_listener_open(Service* service, const TlsListenerConfig& config,
                               std::string* error);

int tls_listener_port(const TlsListener* listener);

// Answers requests until tls_listener_stop; false when the listener failed.
bool tls_listener_run(TlsListener* listener);

// Safe from any thread, before tls_listener_run too.
void tls_listener_stop(TlsListener* listener);

// tls_listener_run has returned.
void tls_listener_close(TlsListener* listener);
