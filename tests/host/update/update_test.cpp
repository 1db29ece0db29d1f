// The update information, versions, the download's status and length, what is removed
// once the installer has ended. The saved file's name and heads split across receives
// are the Win32 tests' (real download).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "fakes/script_fakes.h"
#include "script/install_state.h"
#include "support/log_file.h"
#include "update/download.h"
#include "update/leftovers.h"
#include "update/signature.h"
#include "update/update_info.h"

namespace {

// The update information with '~' for the field mark, which opens every field.
std::string marked(std::string text) {
    std::replace(text.begin(), text.end(), '~', '\x16');
    return text;
}

// "<version>|<number>|<page>|<download>[|s=<signature>]" of the record the scan found, or "none".
std::string scan(const std::string& answer) {
    UpdateRecord found{};
    if (!update_scan(marked(answer).c_str(), "Acme Tool", &found)) {
        return "none";
    }
    return std::string(found.version) + "|" + std::to_string(found.remote_version) + "|" +
           found.page_url + "|" + found.download_url +
           (found.signature[0] ? std::string("|s=") + found.signature : "");
}

TEST(Update, ScanningTheUpdateInformationAndComparingVersions) {
    std::string log = open_test_log("update_scan.log", LOG_FILE);
    // clang-format off
    std::tuple<const char*, const char*> cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n~1Other~29~3o~4o.exe~0~1aCmE tOoL~22.1 final\r\n~3p~4d~0", "2.1|2.100000|p|d"},
        {"~1Acme Tool~4d~9nine~x~33~23.0~0", "3.0|3.000000|3|d"}, // in any order, unknown logged
        {"~1Other~25.5~3p~4d~0~1Acme Tool~0", "|5.500000||d"}, // number and download carry over
        {"~1Acme Tool~5Ab~4d~0", "|0.000000||d|s=Ab"}, {"~1Other~4o~5so~0~1Acme Tool~0", "|0.000000||o"},
        {"~1Acme Tool~0", "|0.000000||"}, {"~1Acme Tool ~0", "none"}, {"~1Acme Tool~22~", "none"},
        {"HTTP/1.0 404 Not Found\r\n\r\n<html>no such page</html>", "none"}, {"", "none"}};
    // clang-format on
    for (auto [answer, expected] : cases) {
        EXPECT_EQ(expected, scan(answer)) << answer;
    }
    std::string p319(319, 'p'), v79 = "1." + std::string(77, '0');
    EXPECT_EQ(v79 + "|1.000000|" + p319 + "|" + p319,
              scan("~1Acme Tool~2" + v79 + "~3" + p319 + "~4" + p319 + "~0"));
    EXPECT_EQ("none", scan("~1Acme Tool~2" + v79 + "9~0"));
    EXPECT_EQ("none", scan("~1Acme Tool~3" + p319 + "p~0"));
    EXPECT_EQ("none", scan("~7" + p319 + "o~1Acme Tool~0"));
    EXPECT_EQ("Unknown 'nine'\nUnknown ''\n", read_file(log));

    // The product's version is shortened to its number, and compared as one.
    // clang-format off
    std::tuple<const char*, const char*, const char*, int, const char*> versions[] = {
        {"1.5", "1.50", "1.5", 0, "1.500000 1.500000"}, {"1.10", "1.9", "1.10", 1, "1.100000 1.900000"},
        {"1.99 beta", "2", "1.99", 1, "1.990000 2.000000"}, {"2.0", "1.0-rc1", "2.0", 0, "2.000000 1.000000"},
        {"v1", ".5", "", 1, "0.000000 0.500000"}, {"1.2.3", "1.2", "1.2.3", 0, "1.200000 1.200000"}};
    // clang-format on
    for (auto [installed, remote, shortened, newer, numbers] : versions) {
        InstallState state{};
        text_copy(state.company_name, sizeof state.company_name, "Acme");
        text_copy(state.product_name, sizeof state.product_name, "Tool");
        text_copy(state.product_version, sizeof state.product_version, installed);
        std::string answer = marked("~1Acme Tool~2") + remote + marked("~0");
        std::string before = read_file(log);
        UpdateRecord found;
        int is_newer = -1;
        ASSERT_EQ(1, update_find_product(&state, answer.c_str(), &found, &is_newer)) << remote;
        EXPECT_EQ(newer, is_newer) << installed << " / " << remote;
        EXPECT_STREQ(shortened, state.product_version);
        EXPECT_EQ(before + "Match: " + numbers + "\n", read_file(log));
    }
    log_close();
}

TEST(Update, KeysAndSignaturesAreExactlyTheirHexDigits) {
    const std::string hex = "00fF10" + std::string(122, 'a');
    // clang-format off
    const struct { std::string text; int read; } cases[] = {
        {hex, 1}, {hex.substr(1), 0}, {hex + "a", 0}, {hex.substr(1) + "g", 0}, {" " + hex.substr(1), 0},
        {hex.substr(0, 63) + " " + hex.substr(64), 0}, {"", 0}};
    // clang-format on
    for (const auto& c : cases) {
        unsigned char bytes[SIGNATURE_SIZE] = {};
        EXPECT_EQ(c.read, signature_bytes_from_text(c.text.c_str(), bytes, sizeof bytes)) << c.text;
        EXPECT_EQ(c.read ? 0x00FF10AA : 0,
                  c.read * (bytes[0] << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]));
    }
    const struct {
        std::string key, signature;
        const char* reason;
    } pairs[] = {{hex.substr(2), hex, "the pinned key is malformed"},
                 {hex, "", "the update information has no signature"},
                 {hex, hex + "0", "the signature is malformed"},
                 {hex, hex, nullptr}};
    for (const auto& c : pairs) {
        const char* reason = "unset";
        EXPECT_EQ(c.reason == nullptr,
                  signature_texts_usable(c.key.c_str(), c.signature.c_str(), &reason));
        EXPECT_STREQ(c.reason, reason);
    }
}

// Hands the answer to the download as one receive; the body it gives back lands in `body`.
int download(const std::string& answer, std::string* body) {
    std::string buffer = answer;
    UpdateDownload state;
    update_download_start(&state);
    const char* part = nullptr;
    int length = -1;
    if (update_download_take(&state, &buffer[0], static_cast<int>(buffer.size()), &part, &length)) {
        body->assign(part, static_cast<size_t>(length));
        state.written = length;
    }
    return update_download_outcome(&state);
}

TEST(Update, TheDownloadsStatusAndLength) {
    std::string log = open_test_log("update_download.log", LOG_FILE);
    // clang-format off
    std::tuple<const char*, int, const char*> cases[] = {
        {"HTTP/1.1 206 Partial\r\ncontent-length:\t 4\r\n\r\nbody", 1, "body"},
        {"HTTP/1.0 299\r\nContent-Length: 4\r\n\r\nbody", 1, "body"},
        {"HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\nbody", 0, ""},
        {"HTTP/1.0 2000 OK\r\n\r\nbody", 0, ""}, {"HTTP/1.0\t200 OK\r\n\r\nbody", 0, ""},
        {"http/1.0 200 OK\r\n\r\nbody", 0, ""}, {"\r\n\r\nbody", 0, ""}, {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nbody", 0, "body"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nbody", 0, "body"},
        {"HTTP/1.0 200 OK\r\nContent-Length: +4\r\n\r\nbody", 1, "body"},
        {"HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n12345", 1, "12345"},
        {"HTTP/1.0 200 OK\r\n\r\nContent-Length: 5\r\nabc", 1, "Content-Length: 5\r\nabc"},
        {"HTTP/1.0 200 OK\r\n\r\n", 0, ""}, {"HTTP/1.0 200 OK\r\nno end of head", 0, ""}};
    // clang-format on
    for (auto [answer, result, expected] : cases) {
        std::string body;
        EXPECT_EQ(result, download(answer, &body)) << answer;
        EXPECT_EQ(expected, body) << answer;
    }
    EXPECT_EQ("Filesize = 4 (0k)\nFilesize = 4 (0k)\nFilesize = 4 (0k)\n"
              "No file in the answer 'HTTP/1.0 404 Not Found'\n"
              "No file in the answer 'HTTP/1.0 2000 OK'\nNo file in the answer 'HTTP/1.0'\n"
              "No file in the answer 'http/1.0 200 OK'\nNo file in the answer ''\n"
              "Filesize = 5 (0k)\nSizes to not match (5 != 4)\n"
              "Filesize = 3 (0k)\nSizes to not match (3 != 4)\n"
              "Filesize = 0 (0k)\nFilesize = 0 (0k)\n",
              read_file(log));
    log_close();
}

TEST(Update, TheInstallerAndTheOldUninstallerGoOnceTheInstallerHasEnded) {
    std::string log = open_test_log("update_leftovers.log", LOG_FILE);
    const std::string folder = "C:\\Program Files\\Acme\\Tool\\";
    const std::string setup = folder + "setup.exe";
    const std::string old = folder + "uninstall.exe.old";
    // clang-format off
    const struct { int waits; bool renamed; const char* uninstaller; bool deleted; } cases[] = {
        {0, true, "uninstall.exe", true}, {0, false, "uninstall.exe", false},
        {1, true, "uninstall.exe", false}, {0, true, "", false}};
    // clang-format on
    for (const auto& c : cases) {
        platform_fake_reset();
        for (const std::string& path : {folder + "tool.exe", setup}) {
            files_fake_add(path);
        }
        if (c.renamed) {
            files_fake_add(old);
        }
        InstallState state{};
        text_copy(state.install_path, sizeof state.install_path, folder.c_str());
        text_copy(state.uninstall_name, sizeof state.uninstall_name, c.uninstaller);
        state.uninstaller_waits = c.waits;
        std::string before = read_file(log);
        EXPECT_EQ(1, update_remove_leftovers(&state, setup.c_str()));
        // The one the started process may still run from waits until it has ended.
        EXPECT_EQ(c.waits ? old : "", state.deferred_file);
        EXPECT_EQ(before + "Delete file '" + setup + "'\n" +
                      (c.deleted ? "Delete file '" + old + "'\n" : ""),
                  read_file(log));
        std::vector<std::string> left = {"C:\\Program Files", "C:\\Program Files\\Acme",
                                         "C:\\Program Files\\Acme\\Tool", folder + "tool.exe"};
        if (c.renamed && !c.deleted) {
            left.push_back(old);
        }
        EXPECT_EQ(left, files_fake_paths());
        // The installer is given time to let go of its file.
        EXPECT_EQ(c.deleted ? 0 : UPDATE_RELEASE_WAIT, files_fake_delete_wait);
    }
    log_close();
}

} // namespace
