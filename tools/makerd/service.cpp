#include "service.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "catalog.h"
#include "console.h"
#include "intake.h"
#include "store.h"
#include "writer.h"

namespace {

using httplib::Request;
using httplib::Response;

const time_t g_read_timeout_seconds = 5; // each read of a head or a body
const int g_body_seconds = 10;           // the whole body, however slowly it trickles in
const size_t g_head_limit = 8192;
// Request threads mostly wait for a commit; the more wait, the larger each group.
const size_t g_threads = 64;
const int g_backlog = 1024; // the library listens with 5, too few for a burst of connections
const char g_success[] = "<html><body>RegSuccess</body></html>";
// Before each route's path: a request target may also come in absolute form
// ("https://host:port/update"), which a server must accept and which some
// clients send inside a proxy's CONNECT tunnel.
const std::string g_authority = "(?:https?://[^/]+)?";

} // namespace

struct Service {
    ServiceConfig config;
    httplib::Server server;
    Writer* writer = nullptr;
    Catalog* catalog = nullptr;
    Console* console = nullptr;
    int port = -1;
    int listen_socket = -1;
    std::mutex mutex;
    bool stopping = false;
    bool running = false;
    std::atomic<bool> finished{false};

    ~Service() {
        if (console) {
            console_delete(console);
        }
        if (catalog) {
            catalog_close(catalog);
        }
        if (writer) {
            writer_stop(writer);
        }
    }
};

namespace {

void service_text(Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain");
}

void service_register(Service* service, const Request& req, Response& res,
                      const httplib::ContentReader& read) {
    if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) {
        return service_text(res, 411, "send the body with a Content-Length");
    }
    std::string announced = req.get_header_value("Content-Length");
    if (announced.empty() || announced.size() > 18 ||
        announced.find_first_not_of("0123456789") != std::string::npos) {
        return service_text(res, 400, "the Content-Length '" + announced + "' is not a number");
    }
    size_t length = std::stoull(announced);
    if (length > INTAKE_BODY_LIMIT) {
        return service_text(res, 413,
                            "the body of " + announced + " bytes is longer than " +
                                std::to_string(INTAKE_BODY_LIMIT));
    }
    std::string body;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(g_body_seconds);
    bool late = false;
    bool whole = read([&](const char* data, size_t size) {
        body.append(data, size);
        late = std::chrono::steady_clock::now() > deadline;
        return !late && body.size() <= length;
    });
    if (!whole || body.size() != length) {
        return service_text(
            res, 408,
            late ? "the body did not arrive within " + std::to_string(g_body_seconds) + " seconds"
                 : "the body ended before its Content-Length of " + announced + " bytes");
    }
    IntakeOutcome outcome = intake_register(service->writer, body, req.remote_addr);
    if (outcome.status == INTAKE_STORED || outcome.status == INTAKE_DUPLICATE) {
        res.set_content(g_success, "text/html");
    } else {
        service_text(res, outcome.status == INTAKE_REFUSED ? 400 : 503, outcome.reason);
    }
}

void service_download(Service* service, const Request& req, Response& res) {
    std::string name = req.matches[1];
    std::shared_ptr<const CatalogSnapshot> snapshot;
    std::string error;
    if (!store_name_safe(name)) {
        return service_text(res, 404, "not found");
    }
    if (!catalog_current(service->catalog, &snapshot, &error)) {
        return service_text(res, 503, error);
    }
    if (snapshot->files.count(name) == 0) {
        return service_text(res, 404, "not found");
    }
    if (req.method == "GET") {
        writer_count(service->writer, "download", name);
    }
    int fd = open(store_path(service->config.store_dir, name).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        fprintf(stderr, "makerd: the published file '%s' is missing from the store\n",
                name.c_str());
        return service_text(res, 500, "the published file is missing from the store");
    }
    res.set_content_provider(
        static_cast<size_t>(status.st_size), "application/octet-stream",
        [fd](size_t offset, size_t length, httplib::DataSink& sink) {
            char chunk[65536];
            ssize_t got =
                pread(fd, chunk, std::min(length, sizeof chunk), static_cast<off_t>(offset));
            return got > 0 && sink.write(chunk, static_cast<size_t>(got));
        },
        [fd](bool) { close(fd); });
}

} // namespace

void service_add_routes(Service* service, httplib::Server& server) {
    server.new_task_queue = [] { return new httplib::ThreadPool(g_threads); };
    server.set_keep_alive_max_count(1);
    server.set_tcp_nodelay(true);
    server.set_read_timeout(g_read_timeout_seconds, 0);
    server.set_payload_max_length(INTAKE_BODY_LIMIT);
    // The library refuses a header line over 8192 bytes, but not a head of
    // many lines: that is measured here, before any body is read.
    server.set_pre_routing_handler([](const Request& req, Response& res) {
        size_t size = req.method.size() + req.target.size() + req.version.size() + 4;
        for (const auto& header : req.headers) {
            size += header.first.size() + header.second.size() + 4;
        }
        if (size <= g_head_limit) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        service_text(res, 431,
                     "the request head of " + std::to_string(size) + " bytes is longer than " +
                         std::to_string(g_head_limit));
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library refuses by itself comes without a reason.
    server.set_error_handler([](const Request&, Response& res) {
        if (!res.body.empty()) {
            return;
        }
        service_text(res, res.status,
                     res.status == 400   ? "the request could not be read: a malformed request "
                                           "line or head, or a header line over 8192 bytes"
                     : res.status == 414 ? "the request target is longer than 8192 bytes"
                     : res.status == 413 ? "the body is longer than 65536 bytes"
                                         : "not found");
    });
    server.Post(g_authority + "/register",
                [service](const Request& req, Response& res, const httplib::ContentReader& read) {
                    service_register(service, req, res, read);
                });
    server.Get(g_authority + "/update", [service](const Request&, Response& res) {
        std::shared_ptr<const CatalogSnapshot> snapshot;
        std::string error;
        if (!catalog_current(service->catalog, &snapshot, &error)) {
            return service_text(res, 503, error);
        }
        writer_count(service->writer, "update", "");
        res.set_content(snapshot->feed, "application/octet-stream");
    });
    server.Get(g_authority + R"(/download/(.*))", [service](const Request& req, Response& res) {
        service_download(service, req, res);
    });
    server.Get(g_authority + "/health", [service](const Request&, Response& res) {
        std::string error;
        if (!catalog_healthy(service->catalog, &error)) {
            return service_text(res, 503, error);
        }
        res.set_content("ok", "text/plain");
    });
    console_routes(service->console, &server);
}

Service* service_open(const ServiceConfig& config, std::string* error) {
    std::unique_ptr<Service> service(new Service);
    service->config = config;
    service->writer = writer_start(config.db_path, error);
    if (!service->writer) {
        return nullptr;
    }
    service->catalog = catalog_open(config.db_path, config.public_url, error);
    if (!service->catalog) {
        return nullptr;
    }
    service->console = console_new(config.db_path, service->writer);
    if (!service->console) {
        *error = "libsodium cannot start";
        return nullptr;
    }
    httplib::Server& server = service->server;
    // Only SO_REUSEADDR: the library's default adds SO_REUSEPORT, which would
    // let a second server share the port instead of being told it is taken.
    Service* open = service.get();
    server.set_socket_options([open](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        open->listen_socket = sock;
    });
    service_add_routes(open, server);
    service->port = config.port == 0 ? server.bind_to_any_port(config.host)
                    : server.bind_to_port(config.host, config.port) ? config.port
                                                                    : -1;
    if (service->port < 0) {
        *error = "cannot listen on " + config.host + " port " + std::to_string(config.port) +
                 " (taken, or not an address of this machine)";
        return nullptr;
    }
    listen(service->listen_socket, g_backlog);
    return service.release();
}

int service_port(const Service* service) {
    return service->port;
}

bool service_run(Service* service) {
    {
        std::lock_guard<std::mutex> lock(service->mutex);
        if (service->stopping) {
            return true;
        }
        service->running = true;
    }
    bool good = service->server.listen_after_bind();
    service->finished = true;
    return good;
}

void service_stop(Service* service) {
    {
        std::lock_guard<std::mutex> lock(service->mutex);
        if (service->stopping) {
            return;
        }
        service->stopping = true;
        if (!service->running) {
            return;
        }
    }
    // The library's stop does nothing until its accepting loop has begun.
    while (!service->server.is_running() && !service->finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    service->server.stop();
}

void service_close(Service* service) {
    delete service;
}
