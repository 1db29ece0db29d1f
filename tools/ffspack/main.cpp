// ffspack: the maker's tool that turns a readable install script into the
// stored install.dat and appends it, as an archive, to the uninstaller stub.
//
//   ffspack compile SCRIPT.txt -o install.dat
//   ffspack pack --stub uninstall.exe --script SCRIPT.txt|install.dat -o OUT.exe [--replace]
//                [--sign-command CMD]
//   ffspack dump OUT.exe
//   ffspack keygen --out maker.key
//   ffspack sign --key maker.key FILE
//
// Exit codes: 0 done, 1 a file could not be used, 2 the command line is wrong.
// Outputs are written to a temporary file beside them and renamed into place,
// so a failed run never leaves a partial file; a new key file is created in
// place, never over an existing one, and removed again if it cannot be written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#define O_BINARY 0
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive_file.h"
#include "check.h"
#include "sign_command.h"
#include "signing.h"
#include "source.h"

namespace {

enum { EXIT_DONE = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

const char g_usage[] =
    "Usage:\n"
    "  ffspack check SCRIPT.txt|install.dat|PACKED.exe [--strict]\n"
    "      Warns of what the program would do wrong at the user's: arguments,\n"
    "      the order of commands, values it cuts or refuses, unsafe file names.\n"
    "  ffspack compile SCRIPT.txt -o install.dat [--strict]\n"
    "      Checks a readable install script and writes its stored form.\n"
    "  ffspack pack --stub STUB.exe --script SCRIPT.txt|install.dat -o OUT.exe [--replace]\n"
    "               [--strict] [--sign-command CMD]\n"
    "      Appends the script to a copy of the stub as its archive. A stub that\n"
    "      already carries an archive is refused unless --replace is given.\n"
    "      compile and pack print check's warnings; --strict makes them fail.\n"
    "      --sign-command runs CMD once to sign the packed file in place, %1 in\n"
    "      CMD standing for its path (no shell: double quotes group words).\n"
    "  ffspack dump FILE.exe\n"
    "      Prints the script embedded in FILE.exe (signed or not) in readable form.\n"
    "  ffspack keygen --out KEYFILE\n"
    "      Writes a new private update key to KEYFILE and prints its UPDATE KEY: line.\n"
    "  ffspack sign --key KEYFILE FILE\n"
    "      Prints the signature of FILE's exact bytes for the update information.\n"
    "  ffspack --help\n"
    "\n"
    "Readable scripts hold one command per line, KEYWORD:arg1<TAB>arg2...;\n"
    "blank lines and lines starting with '#' are ignored.\n";

int fail(const std::string& message) {
    fprintf(stderr, "ffspack: %s\n", message.c_str());
    return EXIT_FAILED;
}

int usage_error(const std::string& message) {
    fprintf(stderr, "ffspack: %s\n%s", message.c_str(), g_usage);
    return EXIT_USAGE;
}

bool read_file(const std::string& path, std::string* bytes, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot open '" + path + "': " + strerror(errno);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t read = 0;
    while ((read = fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes->append(buffer, read);
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

// The C library's rename does not replace an existing file on Windows.
bool replace_file(const char* from, const char* to) {
#ifdef _WIN32
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from, to) == 0;
#endif
}

// Writes beside the target and renames, so the target is either the old file
// or the whole new one. `finish`, when given, works on the written file first
// (signs it in place), which then ends as the target's name does: signing
// tools may go by the extension.
bool write_file(const std::string& path, const std::string& bytes, std::string* error,
                const std::function<bool(const std::string&, std::string*)>& finish = nullptr) {
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        *error = "cannot write '" + path + "': " + strerror(errno);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
#ifndef _WIN32
    fchmod(descriptor, 0666 & ~mask);
#endif
    FILE* file = fdopen(descriptor, "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = file && fclose(file) == 0 && written;
    if (!file) {
        close(descriptor);
    }
    std::string staged = name.data();
    size_t dot = path.find_last_of("./\\");
    if (written && finish && dot != std::string::npos && path[dot] == '.') {
        written = replace_file(staged.c_str(), (staged + path.substr(dot)).c_str());
        staged += written ? path.substr(dot) : "";
    }
    if (written && finish && !finish(staged, error)) {
        remove(staged.c_str());
        return false;
    }
    if (!written || !replace_file(staged.c_str(), path.c_str())) {
        *error = "cannot write '" + path + "': " + strerror(errno);
        remove(staged.c_str());
        return false;
    }
    return true;
}

// The commands of either form, with their lines (a stored script's commands
// are numbered): stored scripts hold command marks, which source never may.
bool read_script(const std::string& path, std::vector<ScriptCommand>* commands,
                 std::vector<int>* lines, std::string* error) {
    std::string bytes;
    if (!read_file(path, &bytes, error) ||
        (bytes.compare(0, 2, "MZ") == 0 && !ffspack_embedded_script(path, bytes, &bytes, error))) {
        return false;
    }
    if (bytes.find('\x16') == std::string::npos) {
        if (!ffspack_parse_source(path, bytes, commands, error, lines)) {
            return false;
        }
    } else {
        *commands = ffspack_decompile(bytes);
        for (size_t i = 0; i < commands->size(); ++i) {
            std::string fault;
            if (!ffspack_check_command((*commands)[i], &fault)) {
                *error = path + ": command " + std::to_string(i + 1) + ": " + fault;
                return false;
            }
            lines->push_back(static_cast<int>(i + 1));
        }
    }
    if (commands->empty()) {
        *error = path + ": the script holds no command";
        return false;
    }
    return true;
}

// Prints the script's warnings; with --strict any of them fails the command.
bool passes_checks(const std::string& path, const std::vector<ScriptCommand>& commands,
                   const std::vector<int>& lines, bool strict, std::string* error) {
    std::vector<std::string> warnings = ffspack_check_script(path, commands, lines);
    for (const std::string& warning : warnings) {
        fprintf(stderr, "ffspack: warning: %s\n", warning.c_str());
    }
    if (strict && !warnings.empty()) {
        *error = path + ": " + std::to_string(warnings.size()) + " warning" +
                 (warnings.size() == 1 ? "" : "s") + " with --strict";
        return false;
    }
    return true;
}

// `check`, `compile` and `pack` read their script alike: read, checked.
bool load_script(const std::string& path, bool strict, std::vector<ScriptCommand>* commands,
                 std::string* error) {
    std::vector<int> lines;
    return read_script(path, commands, &lines, error) &&
           passes_checks(path, *commands, lines, strict, error);
}

int check(const std::vector<std::string>& arguments) {
    std::string source;
    bool strict = false;
    for (const std::string& argument : arguments) {
        if (argument == "--strict") {
            strict = true;
        } else if (source.empty() && argument[0] != '-') {
            source = argument;
        } else {
            return usage_error("check: unexpected argument '" + argument + "'");
        }
    }
    if (source.empty()) {
        return usage_error("check needs SCRIPT");
    }
    std::vector<ScriptCommand> commands;
    std::string error;
    return load_script(source, strict, &commands, &error) ? EXIT_DONE : fail(error);
}

int compile(const std::vector<std::string>& arguments) {
    std::string source;
    std::string output;
    bool strict = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "-o" && i + 1 < arguments.size()) {
            output = arguments[++i];
        } else if (arguments[i] == "--strict") {
            strict = true;
        } else if (source.empty() && arguments[i][0] != '-') {
            source = arguments[i];
        } else {
            return usage_error("compile: unexpected argument '" + arguments[i] + "'");
        }
    }
    if (source.empty() || output.empty()) {
        return usage_error("compile needs SCRIPT.txt and -o OUTPUT");
    }
    std::string error;
    std::vector<ScriptCommand> commands;
    if (!load_script(source, strict, &commands, &error)) {
        return fail(error);
    }
    if (!write_file(output, ffspack_compile(commands), &error)) {
        return fail(error);
    }
    return EXIT_DONE;
}

int pack(const std::vector<std::string>& arguments) {
    std::string stub_path;
    std::string script_path;
    std::string output;
    std::string sign_command;
    bool replace = false;
    bool strict = false;
    bool signing = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        bool has_value = i + 1 < arguments.size();
        if (option == "--stub" && has_value) {
            stub_path = arguments[++i];
        } else if (option == "--script" && has_value) {
            script_path = arguments[++i];
        } else if (option == "-o" && has_value) {
            output = arguments[++i];
        } else if (option == "--replace") {
            replace = true;
        } else if (option == "--strict") {
            strict = true;
        } else if (option == "--sign-command" && has_value) {
            sign_command = arguments[++i];
            signing = true;
        } else {
            return usage_error("pack: unexpected argument '" + option + "'");
        }
    }
    if (stub_path.empty() || script_path.empty() || output.empty()) {
        return usage_error("pack needs --stub STUB.exe, --script SCRIPT and -o OUTPUT");
    }
    std::string error;
    std::vector<std::string> split;
    if (signing && !sign_command_split(sign_command, output, &split, &error)) {
        return usage_error("pack: " + error);
    }

    std::string stub;
    std::vector<ScriptCommand> commands;
    if (!read_file(stub_path, &stub, &error) ||
        !load_script(script_path, strict, &commands, &error)) {
        return fail(error);
    }
    std::string script = ffspack_compile(commands);
    ArchiveLocation found = ffspack_locate(stub);
    if (found.state == ARCHIVE_FOUND && !replace) {
        return fail("'" + stub_path + "' already carries an archive; give --replace to replace it");
    }
    if (found.state == ARCHIVE_DAMAGED_TABLE) {
        return fail(ffspack_no_archive(stub_path, found));
    }
    std::string packed;
    if (!ffspack_pack(ffspack_image(stub, found), script, &packed, &error)) {
        return fail(stub_path + ": " + error);
    }
    // The signed file still has to carry the archive where the stub finds it.
    std::function<bool(const std::string&, std::string*)> sign;
    if (signing) {
        sign = [&](const std::string& staged, std::string* fault) {
            std::string signed_file;
            return sign_command_run(sign_command, staged, fault) &&
                   read_file(staged, &signed_file, fault) &&
                   ffspack_signed_intact(output, packed, signed_file, fault);
        };
    }
    if (!write_file(output, packed, &error, sign)) {
        return fail(error);
    }
    return EXIT_DONE;
}

int dump(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1 || arguments[0][0] == '-') {
        return usage_error("dump needs exactly one FILE.exe");
    }
    const std::string& path = arguments[0];
    std::string file;
    std::string error;
    if (!read_file(path, &file, &error)) {
        return fail(error);
    }
    std::string script;
    if (!ffspack_embedded_script(path, file, &script, &error)) {
        return fail(error);
    }
    std::vector<ScriptCommand> commands = ffspack_decompile(script);
    if (commands.empty()) {
        return fail("'" + path + "' carries a damaged archive: it holds no script command");
    }
    std::string text = ffspack_source_text(commands);
    fwrite(text.data(), 1, text.size(), stdout);
    return fflush(stdout) == 0 ? EXIT_DONE : fail("cannot write the script to standard output");
}

int keygen(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2 || arguments[0] != "--out") {
        return usage_error("keygen needs --out KEYFILE");
    }
    const std::string& path = arguments[1];
    std::string pem;
    std::string public_hex;
    std::string error;
    if (!signing_keygen(&pem, &public_hex, &error)) {
        return fail(error);
    }
    // The old key may be the one that shipped products trust: never replace it.
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0600);
    if (descriptor < 0) {
        return fail(errno == EEXIST ? "'" + path + "' exists already; keygen never replaces a key"
                                    : "cannot create '" + path + "': " + strerror(errno));
    }
    FILE* file = fdopen(descriptor, "wb");
    bool written = file && fwrite(pem.data(), 1, pem.size(), file) == pem.size();
    written = file && fclose(file) == 0 && written;
    if (!file) {
        close(descriptor);
    }
    if (!written) {
        error = "cannot write '" + path + "': " + strerror(errno);
        unlink(path.c_str());
        return fail(error);
    }
    printf("UPDATE KEY:%s\n", public_hex.c_str());
    return fflush(stdout) == 0 ? EXIT_DONE : fail("cannot write the key line to standard output");
}

int sign(const std::vector<std::string>& arguments) {
    std::string key_path;
    std::string file_path;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--key" && i + 1 < arguments.size()) {
            key_path = arguments[++i];
        } else if (file_path.empty() && arguments[i][0] != '-') {
            file_path = arguments[i];
        } else {
            return usage_error("sign: unexpected argument '" + arguments[i] + "'");
        }
    }
    if (key_path.empty() || file_path.empty()) {
        return usage_error("sign needs --key KEYFILE and FILE");
    }
    std::string pem;
    std::string bytes;
    std::string signature;
    std::string error;
    if (!read_file(key_path, &pem, &error) || !read_file(file_path, &bytes, &error)) {
        return fail(error);
    }
    if (!signing_sign(pem, bytes, &signature, &error)) {
        return fail(key_path + ": " + error);
    }
    printf("%s\n", signature.c_str());
    return fflush(stdout) == 0 ? EXIT_DONE : fail("cannot write the signature to standard output");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        return usage_error("no command given");
    }
    const std::string command = arguments[0];
    arguments.erase(arguments.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(g_usage, stdout);
        return EXIT_DONE;
    }
    if (command == "check") {
        return check(arguments);
    }
    if (command == "compile") {
        return compile(arguments);
    }
    if (command == "pack") {
        return pack(arguments);
    }
    if (command == "dump") {
        return dump(arguments);
    }
    if (command == "keygen") {
        return keygen(arguments);
    }
    if (command == "sign") {
        return sign(arguments);
    }
    return usage_error("unknown command '" + command + "'");
}
