// makerd: publish and export as commands, the server in-process over HTTP.
#include <httplib.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <thread>

#include "database.h"
#include "html.h"
#include "listing.h"
#include "registration/registration_samples.h"
#include "registration/submission.h"
#include "registration/sysinfo.h"
#include "service.h"
#include "session.h"
#include "storage.h"
#include "support/log_file.h"
#include "throttle.h"
#include "tools/ffspack/signing.h"

namespace {

// A registration as the program sends it; `text` is REGISTER's record text (tag 100).
std::string registration_body(const char* text) {
    InstallState state = sample_install_state();
    strcpy(state.text, text);
    RegistrantDetails details = sample_registrant();
    strcpy(details.city, "Spring \"field\"");
    // clang-format off
    SysinfoFacts facts = {{192, 168, 1, 20}, "desk", 1, "x86", "\xF4", "Unknown", "GenuineIntel", 1024, 768,
                          16, 1, "Jo Smith", "Unknown", 1, 2, 5, 1, 2600, "SP3", 1u, 1u};
    // clang-format on
    std::vector<unsigned char> record(REGISTRATION_RECORD_SIZE);
    int length = 0, size = 0;
    sysinfo_format(&state, "Free text", &details, &facts, reinterpret_cast<char*>(record.data()),
                   static_cast<int>(record.size()), &length);
    registration_scramble(record.data(), length);
    std::string body(static_cast<size_t>(registration_body_size(length)), '\0');
    registration_body_compose(record.data(), length, &body[0], static_cast<int>(body.size()),
                              &size);
    return body.substr(0, static_cast<size_t>(size));
}

// The exit status and what the command printed, run under `wrapper` when one is given.
std::string makerd(const std::string& arguments, const std::string& wrapper = "") {
    int status = system((wrapper + MAKERD_PATH " " + arguments + " >out.txt 2>&1").c_str());
    return std::to_string(WEXITSTATUS(status)) + " " + read_file("out.txt");
}

// Whether `hex` (r||s) signs `bytes` for the key pair of the private key `pem`.
bool verifies(const std::string& pem, const std::string& hex, const std::string& bytes) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIGNUM *r = nullptr, *s = nullptr;
    ECDSA_SIG* pair = ECDSA_SIG_new();
    unsigned char* der = nullptr;
    int length = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool good =
        BN_hex2bn(&r, hex.substr(0, 64).c_str()) && BN_hex2bn(&s, hex.substr(64).c_str()) &&
        ECDSA_SIG_set0(pair, r, s) && (length = i2d_ECDSA_SIG(pair, &der)) > 0 &&
        EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestVerify(context, der, static_cast<size_t>(length),
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    ECDSA_SIG_free(pair);
    EVP_PKEY_free(key);
    BIO_free(bio);
    return good;
}

TEST(Makerd, PublishServeAndExport) {
    std::string dir = log_file_path("makerd_work"), pem, public_hex, error;
    // "full" holds every name that a.exe as Tool 9 may take.
    ASSERT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/store' '" + dir +
                         "/full' && cd '" + dir +
                         "' && printf first >a.exe && printf '\\0\\1 other' >c.bin && for n in '' "
                         "$(seq -f -%g 2 999); do : >full/Tool-9-a7937b64b8ca$n.exe; done")
                            .c_str()));
    ASSERT_EQ(0, chdir(dir.c_str()));
    ASSERT_TRUE(signing_keygen(&pem, &public_hex, &error)) << error;
    std::ofstream("maker.key") << pem;
    const std::string tool = "publish --db store/m.db --store store --company Acme --product Tool"
                             " --page http://a.test/ --file a.exe ",
                      bin("\0\1 other", 8);
    // clang-format off
    std::tuple<std::string, std::string> commands[] = { // arguments, how the exit status and output start
        {tool + "--version 1.90", "0 Tool-1.90-a7937b64b8ca.exe\n"}, {tool + "--version 1.10 --file b.exe", "2 makerd: --file is given twice"},
        {tool + "--version 1.10", "0 Tool-1.10-"}, {tool + "--version 1.9", "0 Tool-1.9-"}, // ties 1.90: the later wins
        {"publish --db store/m.db --store store --company acme --product 'Big/..Job' --version 2.0b "
         "--page http://b.test/ --file c.bin --key maker.key", "0 Big-Job-2.0b-"},
        {tool + "--version v2", "1 makerd: the program could not read this release: the version 'v2'"},
        {tool + "--version 3 --key a.exe", "1 makerd: cannot sign with 'a.exe'"}, {tool + "--version 0.9", "0 Tool-0.9-"},
        {"publish --db store/m.db --store full --company Acme --product Tool --version 9 --page p --file a.exe",
         "1 makerd: cannot name the file in the store: File exists\n"},
        {"export --db store/m.db --format xml", "2 makerd: --format"}, {"serve --help", "0 Usage: makerd serve"},
        {"serve --db d --store s --public-url http://u/ --listen :80", "2 makerd: --listen takes HOST:PORT"},
        {"serve --db d --store s --public-url http://u/ --listen 127.0.0.1:", "2 makerd: --listen takes HOST:PORT, not '127.0.0.1:'"},
        {"serve --db store/m.db --store store --public-url http://u/ --listen [2001:db8::1]:80",
         "1 makerd: cannot listen on 2001:db8::1 port 80 (taken"},
        {"serve --db d --store s --public-url http://u/ --listen 127.0.0.1:0 --tls-key k",
         "2 makerd: --listen-tls, --tls-cert and --tls-key go together"},
        {"serve --db d --store s --public-url http://u/ --listen 127.0.0.1:0 --listen-tls 127.0.0.1:0 "
         "--tls-cert a.exe --tls-key a.exe", "1 makerd: cannot use the certificate 'a.exe' with the key 'a.exe'"}};
    // clang-format on
    std::vector<std::string> names;
    for (const auto& [arguments, expected] : commands) {
        std::string output = makerd(arguments);
        EXPECT_EQ(0u, output.find(expected)) << arguments << ": " << output;
        names.push_back(output.substr(2, output.find('\n') - 2));
    }
    // The store's folder is synced after the file itself (LeakSanitizer cannot run under strace).
    EXPECT_EQ("1 makerd: cannot sync the store: Input/output error\n",
              makerd(tool + "--version 5", "ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null -e "
                                           "inject=fsync:error=EIO:when=2 "));
    Service* service = service_open({"store/m.db", "127.0.0.1", 0, "store", "http://u/"}, &error);
    ASSERT_NE(nullptr, service) << error;
    std::thread running([service] { EXPECT_TRUE(service_run(service)); });
    httplib::Client web("127.0.0.1", service_port(service));
    std::string first = registration_body(""), second = registration_body("REG"), bad = first;
    bad[bad.size() - 3] ^= 1;
    const std::string yes = "<html><body>RegSuccess</body></html>", big(5000, 'a');
    // clang-format off
    std::tuple<std::string, std::string, std::string, int, std::string> rows[] = { // 200: all of it, or its start
        {"POST", "/register", first, 200, yes}, {"POST", "/register", first, 200, yes}, {"POST", "/register", second, 200, yes},
        {"POST", "/register", bad, 400, "the CRC-32 of the encoded text is"},
        {"POST", "/register", std::string(65537, '0'), 413, "the body of 65537 bytes is longer than 65536"},
        {"POST", "/register", std::string(65536, '0'), 400, "the head announces a body of 0 bytes"},
        {"GET", "/download/" + names[4], "", 200, bin}, {"HEAD", "/download/" + names[2], "", 200, "5"},
        {"GET", "/download/m.db", "", 404, "not found"}, {"GET", "/download/x%2F..%2F" + names[4], "", 404, "not found"},
        {"GET", "/health", "", 200, "ok"}, {"GET", "/health", big, 431, "the request head of"},
        {"GET", "https://u:1/health", "", 200, "ok"}, {"GET", "x/health", "", 404, "not found"}};
    // clang-format on
    for (const auto& [method, path, body, status, start] : rows) {
        httplib::Result got = method == "POST"  ? web.Post(path.c_str(), body, "text/plain")
                              : method == "GET" ? web.Get(path.c_str(), {{"A", body}, {"B", body}})
                                                : web.Head(path.c_str());
        ASSERT_TRUE(got) << path;
        std::string seen = method == "HEAD" ? got->get_header_value("Content-Length") : got->body;
        EXPECT_EQ(status, got->status) << path;
        EXPECT_EQ(start, status == 200 ? seen : seen.substr(0, start.size())) << path;
    }
    std::string feed = web.Get("/update")->body,
                signature = feed.substr(feed.find("\0265") + 2, 128);
    EXPECT_TRUE(verifies(pem, signature, bin)) << feed;
    // clang-format off
    EXPECT_EQ("\0261acme Big/..Job\r\n\02622.0b\r\n\0263http://b.test/\r\n\0264http://u/download/" + names[4] +
              "\r\n\0265" + signature + "\r\n\0260\r\n\0261Acme Tool\r\n\02621.9\r\n\0263http://a.test/\r\n"
              "\0264http://u/download/" + names[3] + "\r\n\0260\r\n", feed); // "\026": 0x16, as octal stops at 3 digits
    // clang-format on
    service_stop(service);
    running.join();
    service_close(service);
    std::string csv = makerd("export --db store/m.db"),
                json = makerd("export --db store/m.db --format json");
    EXPECT_EQ(3, std::count(csv.begin(), csv.end(), '\n')) << csv; // the same body stored once
    for (const char* wanted :
         {"0 id,received,peer,version,000,001,002,100,101,102,103,200,201,202,203,204,",
          ",127.0.0.1,1.50,v1.50 (Release),Standalone,Free text,,Acme,Tool,2.0,Jo,Smith,"
          "1 Main Street,\"Spring \"\"field\"\"\",IL,",
          ",\"1024,768\",", "\"100\": null, \"101\": \"Acme\"",
          "\"100\": \"REG\", \"101\": \"Acme\"", "\"203\": \"Spring \\\"field\\\"\", \"204\"",
          "\"303\": \"\\u00f4\""}) {
        EXPECT_NE(std::string::npos, (csv + json).find(wanted)) << wanted << " in " << csv << json;
    }
}

// The exit status and output of `arguments` with `input` on standard input.
std::string makerd_with(const std::string& input, const std::string& arguments) {
    int status = system(
        ("printf '%s\\n' '" + input + "' | " MAKERD_PATH " user " + arguments + " >out.txt 2>&1")
            .c_str());
    return std::to_string(WEXITSTATUS(status)) + " " + read_file("out.txt");
}

// A server on a fresh database `name` holding one registration, its client, and its stop.
struct Served {
    std::string dir;
    Service* service = nullptr;
    std::thread running;
    std::unique_ptr<httplib::Client> web;

    explicit Served(const std::string& name) : dir(log_file_path(name)) {
        std::string error;
        EXPECT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/store'").c_str()));
        service =
            service_open({dir + "/m.db", "127.0.0.1", 0, dir + "/store", "http://u/"}, &error);
        EXPECT_NE(nullptr, service) << error;
        running = std::thread([this] { EXPECT_TRUE(service_run(service)); });
        web.reset(new httplib::Client("127.0.0.1", service_port(service)));
        EXPECT_EQ(200, web->Post("/register", registration_body("SECRET"), "text/plain")->status);
    }
    void stop() {
        if (service) {
            service_stop(service);
            running.join();
            service_close(service);
            service = nullptr;
        }
    }
    ~Served() { stop(); }
};

std::string cookie_value(const httplib::Result& got, const std::string& name) {
    for (const auto& [key, value] : got->headers) {
        if (key == "Set-Cookie" && value.rfind(name + "=", 0) == 0) {
            return value.substr(name.size() + 1, value.find(';') - name.size() - 1);
        }
    }
    return "";
}

std::string form_csrf(const std::string& page) {
    size_t at = page.find("name=\"csrf\" value=\"");
    return at == std::string::npos ? "" : page.substr(at + 19, page.find('"', at + 19) - at - 19);
}

TEST(Makerd, UserCommands) {
    std::string dir = log_file_path("makerd_users");
    ASSERT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()));
    std::string db = " --db " + dir + "/u.db";
    // clang-format off
    std::tuple<std::string, std::string, std::string> rows[] = { // standard input, arguments, output
        {"secretpass1", "add maker" + db, "0 "}, {"secretpass1", "add maker" + db, "1 makerd: the account 'maker' exists\n"},
        {"short", "add bob" + db, "1 makerd: a password needs at least 8 characters\n"},
        {std::string(1025, 'p'), "add bob" + db, "1 makerd: a password has at most 1024 characters\n"},
        {"", "add bob" + db, "1 makerd: a password needs at least 8 characters\n"},
        {"x", "add 'a b'" + db, "2 makerd: an account name is 1 to 64 letters, digits, '.', '-', '_' or '@', not 'a b'\nUsage"},
        {"x", "remove ''" + db, "2 makerd: an account name is 1 to 64 letters, digits, '.', '-', '_' or '@', not ''\nUsage"},
        {"x", "remove nobody0" + db, "1 makerd: there is no account 'nobody0'\n"}, {"x", "add" + db, "2 makerd: user add needs a NAME\n"},
        {"x", "list" + db, "0 maker\t"}, {"x", "show" + db, "2 makerd: unknown user command 'show'\n"},
        {"x", "", "2 makerd: user takes add, remove or list\n"},
        {"x", "remove maker" + db, "0 "}, {"x", "list" + db, "0 "}};
    // clang-format on
    for (const auto& [input, arguments, expected] : rows) {
        EXPECT_EQ(expected, makerd_with(input, arguments).substr(0, expected.size())) << arguments;
    }
    EXPECT_EQ("1 makerd: no password was given\n", makerd("user add bob" + db + " </dev/null"));
}

TEST(Makerd, ConsoleRoutesWithoutSession) {
    Served served("makerd_console_routes");
    httplib::Client& web = *served.web;
    auto off = web.Get("/console/");
    EXPECT_EQ(404, off->status);
    EXPECT_EQ("default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
              "frame-ancestors 'none'; base-uri 'none'",
              off->get_header_value("Content-Security-Policy"));
    EXPECT_EQ("the console is off until an account exists: makerd user add NAME\n", off->body);
    makerd_with("secretpass1", "add maker --db " + served.dir + "/m.db");
    const httplib::Headers none, forged = {{"Cookie", "makerd_session=0123456789abcdef"}},
                                 plain = {{"X-Forwarded-Proto", "http"}},
                                 relayed = {{"X-Real-IP", "203.0.113.9"}};
    // clang-format off
    std::tuple<std::string, std::string, httplib::Headers, int, std::string> rows[] = { // Location, or the body's start
        {"GET", "/console/", none, 303, "/console/signin"}, {"GET", "/console", none, 303, "/console/"},
        {"GET", "/console/registrations?q=SECRET&page=1", none, 303, "/console/signin"},
        {"GET", "/console/registrations/1", none, 303, "/console/signin"}, {"GET", "/console/export.csv", none, 303, "/console/signin"},
        {"GET", "/console/export.json", none, 303, "/console/signin"}, {"POST", "/console/signout", none, 303, "/console/signin"},
        {"GET", "/console/", forged, 303, "/console/signin"}, {"GET", "/console/registrations/1", forged, 303, "/console/signin"},
        {"GET", "/console/", plain, 403, "the console answers over HTTPS only"},
        {"GET", "/console/signin", relayed, 403, "the console answers over HTTPS only"},
        {"POST", "/console/signin", none, 403, "<!DOCTYPE html>"}, {"GET", "/console/signin", none, 200, "<!DOCTYPE html>"},
        {"GET", "/console/other", none, 404, "not found"}, {"GET", "/console/console.css", none, 200, "body {"}};
    // clang-format on
    for (const auto& [method, path, headers, status, start] : rows) {
        auto got = method == "GET" ? web.Get(path.c_str(), headers)
                                   : web.Post(path.c_str(), headers, "user=maker",
                                              "application/x-www-form-urlencoded");
        ASSERT_TRUE(got) << path;
        EXPECT_EQ(status, got->status) << method << " " << path;
        std::string seen = status == 303 ? got->get_header_value("Location") : got->body;
        EXPECT_EQ(start, seen.substr(0, status == 303 ? seen.size() : start.size())) << path;
        EXPECT_EQ(std::string::npos, got->body.find("SECRET")) << path;
        EXPECT_EQ(path != "/console/other", got->has_header("Content-Security-Policy")) << path;
    }
    for (const auto& [headers, secure] :
         {std::make_pair(none, ""), // this machine itself
          std::make_pair(httplib::Headers{{"X-Forwarded-Proto", "https"}}, "; Secure")}) {
        std::string cookie = web.Get("/console/signin", headers)->get_header_value("Set-Cookie");
        EXPECT_EQ("; Path=/console/signin; Max-Age=3600; HttpOnly; SameSite=Strict" +
                      std::string(secure),
                  cookie.substr(cookie.find(';')));
    }
}

TEST(Makerd, ConsoleSignInAndOut) {
    Served served("makerd_console_signin");
    makerd_with("secretpass1", "add maker --db " + served.dir + "/m.db");
    httplib::Client& web = *served.web;
    std::string session;
    // A sign-in through the form from `address`, behind a TLS proxy.
    auto sign_in = [&](const std::string& name, const std::string& password,
                       const std::string& address) {
        httplib::Headers headers = {{"X-Forwarded-Proto", "https"}, {"X-Real-IP", address}};
        auto form = web.Get("/console/signin", headers);
        headers.emplace("Cookie", "makerd_signin=" + cookie_value(form, "makerd_signin"));
        auto got =
            web.Post("/console/signin", headers,
                     "csrf=" + form_csrf(form->body) + "&user=" + name + "&password=" + password,
                     "application/x-www-form-urlencoded");
        session = cookie_value(got, "makerd_session");
        size_t message = got->body.find("<p class=\"message\">");
        return std::to_string(got->status) +
               (message == std::string::npos
                    ? ""
                    : " " + got->body.substr(message + 19,
                                             got->body.find("</p>", message) - message - 19));
    };
    testing::internal::CaptureStderr();
    // clang-format off
    const std::string wrong = "401 The name or the password is wrong.", wait = "429 Too many failed sign-ins. Please wait N s and try again.";
    std::tuple<std::string, std::string, std::string, std::string> rows[] = { // after five failures an account or an address waits
        {"eve", "x", "203.0.113.9", wrong}, {"eve", "x", "203.0.113.9", wrong}, {"eve", "x", "203.0.113.9", wrong},
        {"eve", "x", "203.0.113.9", wrong}, {"eve", "x", "203.0.113.9", wrong}, {"eve", "x", "203.0.113.10", wait},
        {"maker", "secretpass1", "203.0.113.9", wait}, {"maker", "wrongpass", "203.0.113.10", wrong},
        {"maker", "secretpass1", "203.0.113.10", "303"}};
    // clang-format on
    for (const auto& [name, password, address, answer] : rows) {
        EXPECT_EQ(answer, std::regex_replace(sign_in(name, password, address),
                                             std::regex("wait [0-9]+ s"), "wait N s"))
            << name << " from " << address;
    }
    std::string log = testing::internal::GetCapturedStderr(),
                refused = "makerd: console sign-in refused for 'eve' from 203.0.113.9\n";
    EXPECT_EQ(refused + refused + refused + refused + refused +
                  "makerd: console sign-in refused for 'maker' from 203.0.113.10\n"
                  "makerd: console sign-in of 'maker' from 203.0.113.10\n",
              log);
    httplib::Headers headers = {{"Cookie", "makerd_session=" + session}};
    auto overview = web.Get("/console/", headers);
    ASSERT_EQ(200, overview->status);
    std::string csrf = form_csrf(overview->body);
    EXPECT_TRUE(std::regex_search(overview->body,
                                  std::regex("<title>[0-9-]{10}: 1</title>"))); // today's bar
    // clang-format off
    std::tuple<std::string, int, std::string> lists[] = { // the query, status, what the page holds
        {"q=SECRET", 200, "/console/registrations/1\">1</a>"}, {"page=1000000000", 200, "<table id=\"registrations\">"},
        {"page=1000000001", 503, "There is no such page."}};
    // clang-format on
    for (const auto& [query, status, holds] : lists) {
        auto got = web.Get(("/console/registrations?" + query).c_str(), headers);
        EXPECT_EQ(status, got->status) << query;
        EXPECT_NE(std::string::npos, got->body.find(holds)) << query << ": " << got->body;
    }
    // clang-format off
    std::tuple<std::string, int, std::string> signouts[] = { // the form's body, status, Location
        {"", 403, ""}, {"csrf=" + csrf.substr(1), 403, ""}, {"csrf=" + csrf, 303, "/console/signin"}};
    // clang-format on
    for (const auto& [body, status, location] : signouts) {
        auto got = web.Post("/console/signout", headers, body, "application/x-www-form-urlencoded");
        EXPECT_EQ(status, got->status) << body;
        EXPECT_EQ(location, got->get_header_value("Location")) << body;
    }
    EXPECT_EQ(303, web.Get("/console/", headers)->status);
    ASSERT_EQ("303", sign_in("maker", "secretpass1", "203.0.113.10"));
    headers = {{"Cookie", "makerd_session=" + session}};
    EXPECT_EQ(200, web.Get("/console/", headers)->status);
    makerd_with("secretpass2", "add other --db " + served.dir + "/m.db");
    makerd_with("", "remove maker --db " + served.dir + "/m.db"); // ends the session with it
    EXPECT_EQ(303, web.Get("/console/", headers)->status);
}

TEST(Makerd, CountsAndSchemaUpgrade) {
    Served served("makerd_counts");
    std::string db_path = served.dir + "/m.db", error;
    httplib::Client& web = *served.web;
    ASSERT_EQ(
        0,
        system(
            ("cd '" + served.dir +
             "' && printf x >a.exe && " MAKERD_PATH " publish --db m.db"
             " --store store --company A --product B --version 1 --page p --file a.exe >name.txt")
                .c_str()));
    std::string name = read_file(served.dir + "/name.txt");
    name.pop_back();
    for (const char* path : {"/update", "/update", "/health"}) {
        EXPECT_EQ(200, web.Get(path)->status);
    }
    EXPECT_EQ(200, web.Get(("/download/" + name).c_str())->status);
    EXPECT_EQ(200, web.Head(("/download/" + name).c_str())->status);
    served.stop();
    Database storage;
    SqliteDatabase db;
    ASSERT_TRUE(storage_open(db_path, true, &storage, &error) &&
                database_open(db_path, false, &db, &error))
        << error;
    auto counts = [&] {
        Tallies tallies;
        EXPECT_TRUE(storage->tallies(&tallies, &error)) << error;
        std::map<std::string, long long> kinds;
        for (const auto& [key, count] : tallies) {
            kinds[key.kind +
                  (key.kind == "product" ? " " + key.a + " " + key.b + " " + key.c : "")] += count;
        }
        return kinds;
    };
    const std::map<std::string, long long> stored = {
        {"download", 1},   {"mailing", 1}, {"processor", 1}, {"product Acme Tool 2.0", 1},
        {"registered", 1}, {"update", 2},  {"windows", 1}};
    EXPECT_EQ(stored, counts());
    // clang-format off
    std::tuple<std::string, bool, std::string> upgrades[] = { // what makes the database older, whether it opens, why not
        {"DROP TABLE tallies; DROP TABLE accounts; PRAGMA user_version = 0", true, ""},
        {"PRAGMA user_version = 3", false, "the database has schema version 3, newer than this makerd knows (2)"}};
    // clang-format on
    for (const auto& [sql, opens, why] : upgrades) {
        ASSERT_TRUE(database_run(db.get(), sql.c_str(), &error)) << error;
        Database again;
        error.clear();
        EXPECT_EQ(opens, storage_open(db_path, true, &again, &error)) << sql;
        EXPECT_EQ(why, error);
    }
    std::map<std::string, long long> registrations =
        stored; // the counts of the program's requests went with the table
    registrations.erase("download");
    registrations.erase("update");
    ASSERT_TRUE(database_run(db.get(), "PRAGMA user_version = 2", &error));
    EXPECT_EQ(registrations, counts());
    Served refusing("makerd_counts_refused");
    SqliteDatabase other;
    ASSERT_TRUE(database_open(refusing.dir + "/m.db", false, &other, &error) &&
                database_run(other.get(),
                             "CREATE TRIGGER no BEFORE INSERT ON tallies"
                             " BEGIN SELECT RAISE(ABORT, 'refused'); END",
                             &error))
        << error;
    EXPECT_EQ(200, refusing.web->Get("/update")->status);
    testing::internal::CaptureStderr();
    refusing.stop(); // the last batch is written as the writer ends
    EXPECT_EQ("makerd: counts not stored, kept for the next try: refused\n",
              testing::internal::GetCapturedStderr());
}

TEST(Makerd, EscapingThrottleAndSessions) {
    // clang-format off
    std::tuple<std::string, std::string, std::string, std::string> texts[] = { // bytes, HTML, CSV cell, URL query
        {"<a href='x'>&\"", "&lt;a href=&#39;x&#39;&gt;&amp;&quot;", "\"<a href='x'>&\"\"\"", "%3Ca%20href%3D%27x%27%3E%26%22"},
        {"=HYPERLINK(\"x\")", "=HYPERLINK(&quot;x&quot;)", "\"'=HYPERLINK(\"\"x\"\")\"", "%3DHYPERLINK%28%22x%22%29"},
        {"+1 555", "+1 555", "\"'+1 555\"", "%2B1%20555"}, {"-5,2", "-5,2", "\"'-5,2\"", "-5%2C2"},
        {"@x", "@x", "\"'@x\"", "%40x"}, {"\tx", "\tx", "\"'\tx\"", "%09x"}, {"a-b=c", "a-b=c", "a-b=c", "a-b%3Dc"},
        {"\xF4\x01\x7F\x85\n", "\xC3\xB4\xE2\x90\x81\xE2\x90\xA1\xEF\xBF\xBD\n", "\"\xF4\x01\x7F\x85\n\"", "%F4%01%7F%85%0A"}};
    // clang-format on
    for (const auto& [bytes, html, cell, query] : texts) {
        EXPECT_EQ(html, html_text(bytes)) << bytes;
        EXPECT_EQ(cell, listing_csv_cell(bytes)) << bytes;
        EXPECT_EQ(query, html_url_query(bytes)) << bytes;
    }
    for (const auto& [utf8, bytes] : {std::make_pair("M\xC3\xBCller", "M\xFCller"),
                                      std::make_pair("\xE2\x82\xAC", "\xE2\x82\xAC")}) {
        EXPECT_EQ(bytes, html_from_utf8(utf8));
    }
    Throttle* throttle = throttle_new();
    // clang-format off
    std::tuple<double, bool, long> steps[] = { // at, whether it fails there, the wait after
        {0, true, 0}, {1, true, 0}, {2, true, 0}, {3, true, 0}, {4, true, 15}, {4.5, false, 15}, {5, true, 30}, {6.5, false, 29},
        {7, true, 60}, {8, true, 120}, {9, true, 240}, {10, true, 300}, {11, true, 300}, {400, false, 0}, {2000, true, 0}};
    // clang-format on
    for (const auto& [at, fails, wait] : steps) {
        if (fails) {
            throttle_failed(throttle, "k", at);
        }
        EXPECT_EQ(wait, throttle_wait(throttle, "k", at)) << "at " << at;
    }
    throttle_succeeded(throttle, "k");
    EXPECT_EQ(0, throttle_wait(throttle, "k", 2000));
    // Full: a new key makes room by the keys forgotten by then, else by the oldest ("a1", not "k").
    for (int i = 1; i < THROTTLE_KEYS + 4; ++i) {
        throttle_failed(throttle, i < THROTTLE_KEYS ? "a" + std::to_string(i) : "k", 0);
    }
    throttle_failed(throttle, "new", THROTTLE_FORGET);
    throttle_failed(throttle, "k", THROTTLE_FORGET);
    EXPECT_EQ(15, throttle_wait(throttle, "k", THROTTLE_FORGET));
    throttle_delete(throttle);
    Sessions* sessions = sessions_new();
    std::string token = sessions_open(sessions, "maker", 0),
                idle = sessions_open(sessions, "eve", 0);
    SessionInfo info;
    EXPECT_EQ(64u, token.size());
    for (double at = 1700; at <= SESSION_LONGEST; at += 1700) { // idle never, but for too long
        ASSERT_TRUE(sessions_find(sessions, token, at, &info)) << at;
    }
    EXPECT_EQ("maker", info.account);
    EXPECT_FALSE(sessions_find(sessions, token, SESSION_LONGEST + 1, &info));
    EXPECT_FALSE(sessions_find(sessions, idle, SESSION_IDLE + 1, &info));
    EXPECT_FALSE(sessions_find(sessions, "x", 1, &info));
    token = sessions_open(sessions, "maker", 1);
    for (int i = 1; i < SESSION_LIMIT; ++i) {
        sessions_open(sessions, "eve", 2);
    }
    EXPECT_TRUE(sessions_find(sessions, token, 3, &info));
    sessions_open(sessions, "eve", 3); // one too many: the oldest sign-in ends
    EXPECT_FALSE(sessions_find(sessions, token, 3, &info));
    sessions_delete(sessions);
}

} // namespace
