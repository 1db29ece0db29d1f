#include "console.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "account.h"
#include "database.h"
#include "html.h"
#include "listing.h"
#include "pages.h"
#include "session.h"
#include "storage.h"
#include "throttle.h"

using httplib::Request;
using httplib::Response;

namespace {

const char g_session_cookie[] = "makerd_session";
const char g_signin_cookie[] = "makerd_signin"; // the sign-in form's CSRF token
const int g_signin_form_seconds = 60 * 60;
const int g_hashing_at_once = 2; // each password check takes 64 MiB
const size_t g_search_limit = 200;
const char g_policy[] = "default-src 'none'; style-src 'self'; img-src 'self'; "
                        "form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

} // namespace

struct Console {
    std::string db_path;
    Writer* writer = nullptr;
    Sessions* sessions = sessions_new();
    Throttle* throttle = throttle_new();
    std::string unknown_hash; // checked for a name without an account, so that it takes as long
    std::mutex hashing_mutex;
    std::condition_variable hashing_done;
    int hashing = 0;

    ~Console() {
        sessions_delete(sessions);
        throttle_delete(throttle);
    }
};

namespace {

// What a console request finds before its route's own work.
struct ConsoleVisit {
    Database db;
    std::vector<Account> accounts;
    std::string address; // the client's, for the throttle and the log
    bool tls = false;
    std::string token; // the session cookie's
    bool signed_in = false;
    SessionInfo session;
};

double console_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool console_loopback(const std::string& address) {
    return address == "::1" || address.rfind("127.", 0) == 0 ||
           address.rfind("::ffff:127.", 0) == 0;
}

std::string console_cookie(const Request& req, const std::string& name) {
    std::string header = req.get_header_value("Cookie");
    for (size_t start = 0; start < header.size();) {
        size_t end = std::min(header.find(';', start), header.size());
        size_t first = header.find_first_not_of(' ', start);
        if (first < end && header.compare(first, name.size() + 1, name + "=") == 0) {
            return header.substr(first + name.size() + 1, end - first - name.size() - 1);
        }
        start = end + 1;
    }
    return "";
}

void console_set_cookie(Response& res, const ConsoleVisit& visit, const std::string& name,
                        const std::string& value, const std::string& path, int seconds) {
    res.set_header("Set-Cookie", name + "=" + value + "; Path=" + path +
                                     "; Max-Age=" + std::to_string(seconds) +
                                     "; HttpOnly; SameSite=Strict" + (visit.tls ? "; Secure" : ""));
}

bool console_same(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

// A name for the log: printable ASCII only, cut short.
std::string console_loggable(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size() && i < ACCOUNT_NAME_LIMIT; ++i) {
        shown += text[i] >= 0x20 && text[i] < 0x7F ? text[i] : '?';
    }
    return shown;
}

void console_page(Response& res, int status, const std::string& html) {
    res.status = status;
    res.set_content(html, "text/html; charset=utf-8");
}

void console_redirect(Response& res, const char* path) {
    res.status = 303;
    res.set_header("Location", path);
    res.set_content("", "text/plain");
}

void console_headers(Response& res) {
    res.set_header("Content-Security-Policy", g_policy);
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
}

// Opens the database, reads the accounts and the session. False: `res` holds
// the answer (403 without TLS, 404 without an account, 503 without a database).
bool console_enter(Console* console, const Request& req, Response& res, ConsoleVisit* visit) {
    console_headers(res);
    std::string scheme = req.get_header_value("X-Forwarded-Proto");
    bool proxied = req.has_header("X-Forwarded-Proto") || req.has_header("X-Real-IP") ||
                   req.has_header("X-Forwarded-For");
    if (!console_loopback(req.remote_addr) || (proxied && scheme != "https")) {
        res.status = 403;
        res.set_content("the console answers over HTTPS only: behind a TLS proxy on this machine "
                        "(README) or from this machine itself\n",
                        "text/plain");
        return false;
    }
    visit->tls = scheme == "https";
    visit->address =
        req.has_header("X-Real-IP") ? req.get_header_value("X-Real-IP") : req.remote_addr;
    std::string error;
    if (!storage_open(console->db_path, false, &visit->db, &error) ||
        !visit->db->accounts(&visit->accounts, &error)) {
        res.status = 503;
        res.set_content(error + "\n", "text/plain");
        return false;
    }
    if (visit->accounts.empty()) {
        res.status = 404;
        res.set_content("the console is off until an account exists: makerd user add NAME\n",
                        "text/plain");
        return false;
    }
    visit->token = console_cookie(req, g_session_cookie);
    visit->signed_in =
        !visit->token.empty() &&
        sessions_find(console->sessions, visit->token, console_now(), &visit->session) &&
        std::any_of(visit->accounts.begin(), visit->accounts.end(),
                    [&](const Account& account) { return account.name == visit->session.account; });
    return true;
}

// console_enter for a route that needs a session: without one, 303 to the sign-in.
bool console_enter_signed_in(Console* console, const Request& req, Response& res,
                             ConsoleVisit* visit) {
    if (!console_enter(console, req, res, visit)) {
        return false;
    }
    if (!visit->signed_in) {
        console_redirect(res, "/console/signin");
        return false;
    }
    return true;
}

PagesFrame console_frame(const ConsoleVisit& visit) {
    return {visit.session.account, visit.session.csrf};
}

void console_signin_form(Response& res, const ConsoleVisit& visit, int status,
                         const std::string& message) {
    std::string csrf = account_random_hex(16);
    console_set_cookie(res, visit, g_signin_cookie, csrf, "/console/signin", g_signin_form_seconds);
    console_page(res, status, pages_signin(csrf, message));
}

bool console_check_password(Console* console, const std::string& hash,
                            const std::string& password) {
    std::unique_lock<std::mutex> lock(console->hashing_mutex);
    console->hashing_done.wait(lock, [&] { return console->hashing < g_hashing_at_once; });
    ++console->hashing;
    lock.unlock();
    bool good = account_verify(hash, password);
    lock.lock();
    --console->hashing;
    console->hashing_done.notify_one();
    return good;
}

void console_signin(Console* console, const Request& req, Response& res) {
    ConsoleVisit visit;
    if (!console_enter(console, req, res, &visit)) {
        return;
    }
    if (!console_same(req.get_param_value("csrf"), console_cookie(req, g_signin_cookie))) {
        return console_signin_form(res, visit, 403, "The form had expired. Please sign in again.");
    }
    std::string name = req.get_param_value("user"), password = req.get_param_value("password");
    // Cut, so that no request grows the throttle's keys beyond a name's length.
    std::string by_account = "account " + name.substr(0, ACCOUNT_NAME_LIMIT + 1),
                by_address = "address " + visit.address.substr(0, ACCOUNT_NAME_LIMIT);
    double now = console_now();
    long wait = std::max(throttle_wait(console->throttle, by_account, now),
                         throttle_wait(console->throttle, by_address, now));
    if (wait > 0) {
        res.set_header("Retry-After", std::to_string(wait));
        return console_signin_form(res, visit, 429,
                                   "Too many failed sign-ins. Please wait " + std::to_string(wait) +
                                       " s and try again.");
    }
    auto account = std::find_if(visit.accounts.begin(), visit.accounts.end(),
                                [&](const Account& known) { return known.name == name; });
    bool known = account != visit.accounts.end();
    bool good = console_check_password(
                    console, known ? account->password_hash : console->unknown_hash, password) &&
                known;
    if (!good) {
        throttle_failed(console->throttle, by_account, now);
        throttle_failed(console->throttle, by_address, now);
        fprintf(stderr, "makerd: console sign-in refused for '%s' from %s\n",
                console_loggable(name).c_str(), console_loggable(visit.address).c_str());
        return console_signin_form(res, visit, 401, "The name or the password is wrong.");
    }
    throttle_succeeded(console->throttle, by_account);
    throttle_succeeded(console->throttle, by_address);
    fprintf(stderr, "makerd: console sign-in of '%s' from %s\n", name.c_str(),
            console_loggable(visit.address).c_str());
    console_set_cookie(res, visit, g_session_cookie, sessions_open(console->sessions, name, now),
                       "/console/", SESSION_LONGEST);
    console_set_cookie(res, visit, g_signin_cookie, "", "/console/signin", 0);
    console_redirect(res, "/console/");
}

void console_signout(Console* console, const Request& req, Response& res) {
    ConsoleVisit visit;
    if (!console_enter_signed_in(console, req, res, &visit)) {
        return;
    }
    if (!console_same(req.get_param_value("csrf"), visit.session.csrf)) {
        return console_page(res, 403,
                            pages_message(console_frame(visit), "Refused",
                                          "This request was refused: its form did not carry this "
                                          "session's CSRF token."));
    }
    sessions_close(console->sessions, visit.token);
    console_set_cookie(res, visit, g_session_cookie, "", "/console/", 0);
    console_redirect(res, "/console/signin");
}

void console_failed(Response& res, const ConsoleVisit& visit, const std::string& error) {
    console_page(res, 503, pages_message(console_frame(visit), "Not available", error));
}

void console_overview(Console* console, const Request& req, Response& res) {
    ConsoleVisit visit;
    Tallies tallies;
    std::vector<Release> releases;
    std::string error;
    if (!console_enter_signed_in(console, req, res, &visit)) {
        return;
    }
    if (!writer_tallies(console->writer, visit.db.get(), &tallies, &error) ||
        !visit.db->releases(&releases, &error)) {
        return console_failed(res, visit, error);
    }
    console_page(
        res, 200,
        pages_overview(console_frame(visit), tallies, releases, database_now().substr(0, 10)));
}

// A positive whole number of at most 18 digits, or 0.
long long console_number(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::stoll(text);
}

void console_registrations(Console* console, const Request& req, Response& res) {
    ConsoleVisit visit;
    if (!console_enter_signed_in(console, req, res, &visit)) {
        return;
    }
    std::string search = html_from_utf8(req.get_param_value("q")).substr(0, g_search_limit);
    long long page = std::max(1LL, console_number(req.get_param_value("page")));
    std::vector<Registration> rows;
    std::string error;
    if (page > 1000000000LL ||
        !visit.db->search(search, (page - 1) * PAGES_ROWS, PAGES_ROWS + 1, &rows, &error)) {
        return console_failed(res, visit, page > 1000000000LL ? "There is no such page." : error);
    }
    bool more = rows.size() > PAGES_ROWS;
    rows.resize(std::min<size_t>(rows.size(), PAGES_ROWS));
    console_page(res, 200, pages_registrations(console_frame(visit), search, page, rows, more));
}

void console_registration(Console* console, const Request& req, Response& res) {
    ConsoleVisit visit;
    if (!console_enter_signed_in(console, req, res, &visit)) {
        return;
    }
    Registration registration;
    bool found = false;
    std::string error;
    if (!visit.db->registration(console_number(req.matches[1]), &registration, &found, &error)) {
        return console_failed(res, visit, error);
    }
    if (!found) {
        return console_page(res, 404,
                            pages_message(console_frame(visit), "Not found",
                                          "There is no registration of that number."));
    }
    console_page(res, 200, pages_registration(console_frame(visit), registration));
}

// Streamed as it is read, over the visit's connection.
void console_export(Console* console, const Request& req, Response& res, ListingFormat format) {
    auto visit = std::make_shared<ConsoleVisit>();
    if (!console_enter_signed_in(console, req, res, visit.get())) {
        return;
    }
    bool json = format == LISTING_JSON;
    res.set_header("Content-Disposition", json ? "attachment; filename=\"registrations.json\""
                                               : "attachment; filename=\"registrations.csv\"");
    res.set_chunked_content_provider(
        json ? "application/json" : "text/csv; charset=iso-8859-1",
        [visit, format](size_t, httplib::DataSink& sink) {
            std::string error;
            bool good = listing_write(
                visit->db.get(), format,
                [&](const std::string& text) { return sink.write(text.data(), text.size()); },
                &error);
            if (good) {
                sink.done();
            }
            return good;
        });
}

} // namespace

Console* console_new(const std::string& db_path, Writer* writer) {
    if (!account_init()) {
        return nullptr;
    }
    std::unique_ptr<Console> console(new Console);
    console->db_path = db_path;
    console->writer = writer;
    console->unknown_hash = account_hash(account_random_hex(16));
    return console->unknown_hash.empty() ? nullptr : console.release();
}

void console_delete(Console* console) {
    delete console;
}

void console_routes(Console* console, httplib::Server* server) {
    server->Get("/console", [](const Request&, Response& res) {
        console_headers(res);
        console_redirect(res, "/console/");
    });
    server->Get("/console/console.css", [](const Request&, Response& res) {
        console_headers(res);
        res.set_content(pages_stylesheet(), "text/css; charset=utf-8");
    });
    server->Get("/console/signin", [console](const Request& req, Response& res) {
        ConsoleVisit visit;
        if (!console_enter(console, req, res, &visit)) {
            return;
        }
        if (visit.signed_in) {
            return console_redirect(res, "/console/");
        }
        console_signin_form(res, visit, 200, "");
    });
    server->Post("/console/signin", [console](const Request& req, Response& res) {
        console_signin(console, req, res);
    });
    server->Post("/console/signout", [console](const Request& req, Response& res) {
        console_signout(console, req, res);
    });
    server->Get("/console/", [console](const Request& req, Response& res) {
        console_overview(console, req, res);
    });
    server->Get("/console/registrations", [console](const Request& req, Response& res) {
        console_registrations(console, req, res);
    });
    server->Get(
        R"(/console/registrations/(\d{1,18}))",
        [console](const Request& req, Response& res) { console_registration(console, req, res); });
    server->Get("/console/export.csv", [console](const Request& req, Response& res) {
        console_export(console, req, res, LISTING_CSV);
    });
    server->Get("/console/export.json", [console](const Request& req, Response& res) {
        console_export(console, req, res, LISTING_JSON);
    });
}
