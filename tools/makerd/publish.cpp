// makerd publish: copies an installer into the store and records its release.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "args.h"
#include "commands.h"
#include "database.h"
#include "digest.h"
#include "feed.h"
#include "storage.h"
#include "store.h"
#include "tools/ffspack/signing.h"

namespace {

const char g_usage[] =
    "Usage: makerd publish --db FILE --store DIR --company C --product P --version V\n"
    "                      --page URL --file PATH [--key maker.key]\n"
    "  Copies the installer PATH into the store under a new safe name, records the\n"
    "  release and prints the stored name. GET /update then offers it when V is the\n"
    "  product's newest version (as the program reads versions: 1.10 is older than\n"
    "  1.9). With --key (ffspack keygen's key file) the file is signed too.\n";

const size_t g_product_piece = 64;
const size_t g_version_piece = 32;
const size_t g_extension_limit = 16;

bool publish_is_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Letters, digits, '-' and '_' kept, one '.' at a time, anything else one '-'.
std::string publish_name_piece(const std::string& text, size_t limit) {
    std::string piece;
    for (unsigned char c : text) {
        if (piece.size() == limit) {
            break;
        }
        if (publish_is_alnum(c) || c == '-' || c == '_') {
            piece += static_cast<char>(c);
        } else if (!piece.empty() && piece.back() != '.' && piece.back() != '-') {
            piece += c == '.' ? '.' : '-';
        }
    }
    return piece.empty() ? "release" : piece;
}

// ".exe" for "setup.exe": letters and digits only, or nothing.
std::string publish_extension(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0 || base.size() - dot - 1 > g_extension_limit) {
        return "";
    }
    for (size_t i = dot + 1; i < base.size(); ++i) {
        if (!publish_is_alnum(static_cast<unsigned char>(base[i]))) {
            return "";
        }
    }
    return base.substr(dot);
}

bool publish_read(const std::string& path, std::string* bytes, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    if (!(file && content << file.rdbuf())) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    *bytes = content.str();
    return true;
}

// Writes `bytes` to a new hidden file in the store and syncs it.
bool publish_write_temporary(const std::string& store, const std::string& bytes, std::string* path,
                             std::string* error) {
    std::string pattern = store_path(store, ".makerd-XXXXXX");
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) {
        *error = "cannot write into the store: " + std::string(strerror(errno));
        return false;
    }
    *path = pattern;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0) {
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    bool good = done == bytes.size() && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    good = close(fd) == 0 && good;
    if (!good) {
        *error = "cannot write into the store: " + std::string(strerror(errno));
        unlink(path->c_str());
    }
    return good;
}

// Renames the temporary file to `base` + `extension`, or with "-2", "-3"... when
// that is taken: never over an existing file, so two publishes never collide.
bool publish_claim_name(const std::string& store, const std::string& temporary,
                        const std::string& base, const std::string& extension, std::string* name,
                        std::string* error) {
    for (int number = 1; number < 1000; ++number) {
        *name = base + (number == 1 ? "" : "-" + std::to_string(number)) + extension;
        if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, store_path(store, *name).c_str(),
                      RENAME_NOREPLACE) == 0) {
            int dir = open(store.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            bool synced = dir >= 0 && fsync(dir) == 0;
            if (dir >= 0) {
                close(dir);
            }
            if (synced) {
                return true;
            }
            *error = "cannot sync the store: " + std::string(strerror(errno));
            unlink(store_path(store, *name).c_str());
            return false;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    *error = "cannot name the file in the store: " + std::string(strerror(errno));
    unlink(temporary.c_str());
    return false;
}

} // namespace

int publish_main(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments,
                   {{"--db", true},
                    {"--store", true},
                    {"--company", true},
                    {"--product", true},
                    {"--version", true},
                    {"--page", true},
                    {"--file", true},
                    {"--key", false}},
                   g_usage, &values, &exit_code)) {
        return exit_code;
    }
    Release release;
    release.company = values["--company"];
    release.product = values["--product"];
    release.version = values["--version"];
    release.page = values["--page"];
    bool sign = values.count("--key") != 0;
    std::string bytes, key, error;
    if (!publish_read(values["--file"], &bytes, &error) ||
        (sign && !publish_read(values["--key"], &key, &error))) {
        return args_fail(error);
    }
    if (bytes.empty()) {
        return args_fail("'" + values["--file"] + "' is empty");
    }
    if (sign && !signing_sign(key, bytes, &release.signature, &error)) {
        return args_fail("cannot sign with '" + values["--key"] + "': " + error);
    }
    std::string problem = feed_release_problem(release, "");
    if (!problem.empty()) {
        return args_fail("the program could not read this release: " + problem);
    }
    release.size = static_cast<long long>(bytes.size());
    release.sha256 = digest_sha256_hex(bytes);
    const std::string& store = values["--store"];
    std::string temporary;
    Database db;
    if (!store_prepare(store, &error) || !storage_open(values["--db"], true, &db, &error) ||
        !publish_write_temporary(store, bytes, &temporary, &error) ||
        !publish_claim_name(store, temporary,
                            publish_name_piece(release.product, g_product_piece) + "-" +
                                publish_name_piece(release.version, g_version_piece) + "-" +
                                release.sha256.substr(0, 12),
                            publish_extension(values["--file"]), &release.stored_name, &error)) {
        return args_fail(error);
    }
    release.published = database_now();
    if (!db->release_add(release, &error)) {
        unlink(store_path(store, release.stored_name).c_str());
        return args_fail(error);
    }
    printf("%s\n", release.stored_name.c_str());
    return ARGS_EXIT_DONE;
}
