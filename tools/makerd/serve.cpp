// makerd serve: the web server until SIGTERM or SIGINT.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "args.h"
#include "commands.h"
#include "service.h"
#include "store.h"

namespace {

const char g_usage[] =
    "Usage: makerd serve --db FILE --listen HOST:PORT --store DIR --public-url URL\n"
    "  Receives registrations (POST /register) and serves the update information\n"
    "  (GET /update), the published files (GET /download/NAME) and GET /health,\n"
    "  and the maker's console under /console/ once an account exists (makerd\n"
    "  user add).\n"
    "  PORT 0 takes a free port. Once it listens it prints one line,\n"
    "  \"makerd: listening on http://HOST:PORT/\". URL is where the installed\n"
    "  programs reach this server (the download links start with it). SIGTERM\n"
    "  or SIGINT: stops accepting, answers the requests in flight, exits 0.\n";

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
                   {{"--db", true}, {"--listen", true}, {"--store", true}, {"--public-url", true}},
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
    printf("makerd: listening on http://%s:%d/\n",
           values["--listen"].substr(0, values["--listen"].rfind(':')).c_str(),
           service_port(service));
    fflush(stdout);
    std::thread waiter([&] {
        int number = 0;
        sigwait(&signals, &number);
        service_stop(service);
    });
    bool good = service_run(service);
    // Wakes the waiter when the server ended by itself; a waiter that already
    // stopped it has ended, and the blocked signal stays unseen.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    service_close(service);
    return good ? ARGS_EXIT_DONE : args_fail("the server stopped accepting connections");
}
