// The maker's web server over cpp-httplib:
//
//   POST /register        a registration body: 200 "<html><body>RegSuccess</body></html>"
//                         once it is committed (again for the same bytes), 400 with the
//                         decoder's reason, 411 without a Content-Length, 413 over 64 KiB
//   GET /update           the update information (feed.h), application/octet-stream
//   GET|HEAD /download/N  the published file of stored name N
//   GET /health           200 "ok" while the database answers, 503 otherwise
//   /console/...          the maker's console (console.h)
//
// Update checks and downloads (GET only) are counted for the console.
//
// Every connection carries one request, as the program's do, so a body left
// unread after a refusal never reads as a next request.
#pragma once

#include <string>

struct ServiceConfig {
    std::string db_path;
    std::string host;
    int port = 0; // 0: any free port
    std::string store_dir;
    std::string public_url; // the address the program reaches, ending with '/'
};

struct Service;
namespace httplib {
class Server;
}

// Opens the database, starts the writer and binds the address.
Service* service_open(const ServiceConfig& config, std::string* error);

// Puts the service's routes and limits on another server of the same
// service (the TLS listener), which binds its own address.
void service_add_routes(Service* service, httplib::Server& server);

// The port bound.
int service_port(const Service* service);

// Answers requests until service_stop; returns false when the server failed.
bool service_run(Service* service);

// Stops accepting; service_run returns once the requests in flight are answered.
// Safe from any thread, before service_run too.
void service_stop(Service* service);

// Commits what is left and frees everything; service_run has returned.
void service_close(Service* service);
