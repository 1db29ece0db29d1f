// makerd serve: the web server until SIGTERM or SIGINT.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "args.h"
#include "commands.h"
#include "service.h"
#include "store.h"
#include "tls_listener.h"

namespace {

const char g_usage[] =
    "Usage: makerd serve --db FILE --listen HOST:PORT --store DIR --public-url URL\n"
    "                    [--listen-tls HOST:PORT --tls-cert FILE --tls-key FILE]\n"
    "  Receives registrations (POST /register) and serves the update information\n"
    "  (GET /update), the published files (GET /download/NAME) and GET /health,\n"
    "  and the maker's console under /console/ once an account exists (makerd\n"
    "  user add).\n"
    "  PORT 0 takes a free port. Once it listens it prints one line,\n"
    "  \"makerd: listening on http://HOST:PORT/\". URL is where the installed\n"
    "  programs reach this server (the download links start with it). SIGTERM\n"
    "  or SIGINT: stops accepting, answers the requests in flight, exits 0.\n"
    "  --listen-tls serves the same routes over HTTPS (TLS 1.2 or later) with the\n"
    "  PEM certificate (its chain behind it) and key, and prints\n"
    "  \"makerd: listening on https://HOST:PORT/\" too; the plain listener stays\n"
    "  for the programs that only speak http://.\n";

// HOST:PORT, the host in brackets for IPv6 ("[::1]:8080").
bool serve_parse_listen(const std::string& text, std::string* host, int* port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() ||
        colon + 6 < text.size() ||
        text.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
        return false;
    }
    *port = std::stoi(text.substr(colon + 1));
    *host = text.substr(0, colon);
    if (host->front() == '[' && host->back() == ']') {
        *host = host->substr(1, host->size() - 2);
    }
    return *port <= 65535 && !host->empty();
}

} // namespace

int serve_main(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments,
                   {{"--db", true},
                    {"--listen", true},
                    {"--store", true},
                    {"--public-url", true},
                    {"--listen-tls", false},
                    {"--tls-cert", false},
                    {"--tls-key", false}},
                   g_usage, &values, &exit_code)) {
        return exit_code;
    }
    ServiceConfig config;
    config.db_path = values["--db"];
    config.store_dir = values["--store"];
    config.public_url = values["--public-url"];
    if (!serve_parse_listen(values["--listen"], &config.host, &config.port)) {
        return args_usage_error("--listen takes HOST:PORT, not '" + values["--listen"] + "'",
                                g_usage);
    }
    TlsListenerConfig tls;
    size_t tls_options =
        values.count("--listen-tls") + values.count("--tls-cert") + values.count("--tls-key");
    if (tls_options != 0 && tls_options != 3) {
        return args_usage_error("--listen-tls, --tls-cert and --tls-key go together", g_usage);
    }
    if (tls_options == 3) {
        tls.cert_path = values["--tls-cert"];
        tls.key_path = values["--tls-key"];
        if (!serve_parse_listen(values["--listen-tls"], &tls.host, &tls.port)) {
            return args_usage_error(
                "--listen-tls takes HOST:PORT, not '" + values["--listen-tls"] + "'", g_usage);
        }
    }
    if (config.public_url.rfind("http://", 0) != 0 && config.public_url.rfind("https://", 0) != 0) {
        return args_usage_error("--public-url must start with http:// or https://", g_usage);
    }
    if (config.public_url.back() != '/') {
        config.public_url += '/';
    }
    std::string error;
    if (!store_prepare(config.store_dir, &error)) {
        return args_fail(error);
    }
    // Blocked in every thread, so that only the waiter below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN); // a client that went away is a failed write, not an exit
    Service* service = service_open(config, &error);
    if (!service) {
        return args_fail(error);
    }
    TlsListener* listener = nullptr;
    if (tls_options == 3 && !(listener = tls_listener_open(service, tls, &error))) {
        service_close(service);
        return args_fail(error);
    }
    printf("makerd: listening on http://%s:%d/\n",
           values["--listen"].substr(0, values["--listen"].rfind(':')).c_str(),
           service_port(service));
    if (listener) {
        printf("makerd: listening on https://%s:%d/\n",
               values["--listen-tls"].substr(0, values["--listen-tls"].rfind(':')).c_str(),
               tls_listener_port(listener));
    }
    fflush(stdout);
    std::thread waiter([&] {
        int number = 0;
        sigwait(&signals, &number);
        service_stop(service);
    });
    bool tls_good = true;
    std::thread tls_thread;
    if (listener) {
        tls_thread = std::thread([&] { tls_good = tls_listener_run(listener); });
    }
    bool good = service_run(service);
    if (listener) {
        tls_listener_stop(listener);
        tls_thread.join();
        tls_listener_close(listener);
        good = good && tls_good;
    }
    // Wakes the waiter when the server ended by itself; a waiter that already
    // stopped it has ended, and the blocked signal stays unseen.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    service_close(service);
    return good ? ARGS_EXIT_DONE : args_fail("the server stopped accepting connections");
}
