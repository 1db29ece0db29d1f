// makerd: publish and export as commands, the server in-process over HTTP.
#include <httplib.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "registration/registration_samples.h"
#include "registration/submission.h"
#include "registration/sysinfo.h"
#include "service.h"
#include "support/log_file.h"
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

// The exit status and what the command printed.
std::string makerd(const std::string& arguments) {
    int status = system((MAKERD_PATH " " + arguments + " >out.txt 2>&1").c_str());
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
    ASSERT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/store' && cd '" + dir +
                         "' && printf first >a.exe && printf '\\0\\1 other' >c.bin")
                            .c_str()));
    ASSERT_EQ(0, chdir(dir.c_str()));
    ASSERT_TRUE(signing_keygen(&pem, &public_hex, &error)) << error;
    std::ofstream("maker.key") << pem;
    const std::string tool = "publish --db store/m.db --store store --company Acme --product Tool"
                             " --page http://a.test/ --file a.exe ",
                      bin("\0\1 other", 8);
    // clang-format off
    std::tuple<std::string, std::string> commands[] = { // arguments, how the exit status and output start
        {tool + "--version 1.90", "0 Tool-1.90-"}, {tool + "--version 1.10 --file b.exe", "2 makerd: --file is given twice"},
        {tool + "--version 1.10", "0 Tool-1.10-"}, {tool + "--version 1.9", "0 Tool-1.9-"}, // ties 1.90: the later wins
        {"publish --db store/m.db --store store --company acme --product 'Big/..Job' --version 2.0b "
         "--page http://b.test/ --file c.bin --key maker.key", "0 Big-Job-2.0b-"},
        {tool + "--version v2", "1 makerd: the program could not read this release: the version 'v2'"},
        {tool + "--version 3 --key a.exe", "1 makerd: cannot sign with 'a.exe'"},
        {"export --db store/m.db --format xml", "2 makerd: --format"}, {"serve --help", "0 Usage: makerd serve"},
        {"serve --db d --store s --public-url http://u/ --listen :80", "2 makerd: --listen takes HOST:PORT"},
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

} // namespace
