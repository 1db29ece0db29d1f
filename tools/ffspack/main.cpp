// ffspack: the maker's tool that turns a readable install script into the
// stored install.dat and appends it, as an archive, to the uninstaller stub.
//
//   ffspack compile SCRIPT.txt -o install.dat
//   ffspack pack --stub uninstall.exe --script SCRIPT.txt|install.dat -o OUT.exe [--replace]
//                [--sign-command CMD]
//   ffspack installer --script SCRIPT --files DIR --stub uninstall.exe -o setup.exe [--nsi OUT.nsi]
//                [--sign-command CMD]
//   ffspack dump OUT.exe
//   ffspack keygen --out maker.key
//   ffspack sign --key maker.key FILE
//
// Exit codes: 0 done, 1 a file could not be used, 2 the command line is wrong
// (args.h, the dialect of every maker's tool).
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
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive_file.h"
#include "args.h"
#include "check.h"
#include "installer.h"
#include "makensis.h"
#include "sign_command.h"
#include "signing.h"
#include "source.h"

namespace fs = std::filesystem;

namespace {

#define CHECK_HELP                                                                                 \
    "  ffspack check SCRIPT.txt|install.dat|PACKED.exe [--strict]\n"                               \
    "      Warns of what the program would do wrong at the user's: arguments,\n"                   \
    "      the order of commands, values it cuts or refuses, unsafe file names.\n"
#define COMPILE_HELP                                                                               \
    "  ffspack compile SCRIPT.txt -o install.dat [--strict]\n"                                     \
    "      Checks a readable install script and writes its stored form.\n"
#define PACK_HELP                                                                                  \
    "  ffspack pack --stub STUB.exe --script SCRIPT.txt|install.dat -o OUT.exe [--replace]\n"      \
    "               [--strict] [--sign-command CMD]\n"                                             \
    "      Appends the script to a copy of the stub as its archive. A stub that\n"                 \
    "      already carries an archive is refused unless --replace is given.\n"                     \
    "      compile and pack print check's warnings; --strict makes them fail.\n"                   \
    "      --sign-command runs CMD once to sign the packed file in place, %1 in\n"                 \
    "      CMD standing for its path (no shell: double quotes group words).\n"
#define INSTALLER_HELP                                                                             \
    "  ffspack installer --script SCRIPT --files DIR --stub STUB.exe -o SETUP.exe\n"               \
    "                    [--nsi OUT.nsi] [--makensis PATH] [--replace] [--strict]\n"               \
    "                    [--sign-command CMD]\n"                                                   \
    "      Makes the product's setup.exe with NSIS's makensis: the files that the\n"               \
    "      script names, taken from DIR, the uninstaller packed as pack does, the\n"               \
    "      registry values, shortcuts and components that the uninstaller removes.\n"              \
    "      --nsi keeps the NSIS script as OUT.nsi, with OUT.product.nsh (the\n"                    \
    "      product's macros, for a script of one's own) and OUT.uninstall.exe.\n"                  \
    "      setup.exe's exit codes: 0 installed, 1 installed with -Quiet, 2 aborted,\n"             \
    "      3 a file, 4 a registry value, 5 a shortcut, 6 a component failed,\n"                    \
    "      7 a newer version is installed. --sign-command signs the packed\n"                      \
    "      uninstaller before it goes in, then setup.exe.\n"
#define DUMP_HELP                                                                                  \
    "  ffspack dump FILE.exe\n"                                                                    \
    "      Prints the script embedded in FILE.exe (signed or not) in readable form.\n"
#define KEYGEN_HELP                                                                                \
    "  ffspack keygen --out KEYFILE\n"                                                             \
    "      Writes a new private update key to KEYFILE and prints its UPDATE KEY: line.\n"
#define SIGN_HELP                                                                                  \
    "  ffspack sign --key KEYFILE FILE\n"                                                          \
    "      Prints the signature of FILE's exact bytes for the update information.\n"

const char g_notes[] = "\n"
                       "Readable scripts hold one command per line, KEYWORD:arg1<TAB>arg2...;\n"
                       "blank lines and lines starting with '#' are ignored.\n";

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

// A new file beside `path`, to be renamed over it, with the permissions that a
// new file gets. Returns its descriptor, or -1 with the reason in `error`.
int create_beside(const std::string& path, std::string* name, std::string* error) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int descriptor = mkstemp(buffer.data());
    if (descriptor < 0) {
        *error = "cannot write '" + path + "': " + strerror(errno);
        return -1;
    }
    mode_t mask = umask(0);
    umask(mask);
#ifndef _WIN32
    fchmod(descriptor, 0666 & ~mask);
#endif
    *name = buffer.data();
    return descriptor;
}

// Writes beside the target and renames, so the target is either the old file
// or the whole new one. `finish`, when given, works on the written file first
// (signs it in place), which then ends as the target's name does: signing
// tools may go by the extension.
bool write_file(const std::string& path, const std::string& bytes, std::string* error,
                const std::function<bool(const std::string&, std::string*)>& finish = nullptr) {
    std::string name;
    int descriptor = create_beside(path, &name, error);
    if (descriptor < 0) {
        return false;
    }
    FILE* file = fdopen(descriptor, "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = file && fclose(file) == 0 && written;
    if (!file) {
        close(descriptor);
    }
    std::string staged = name;
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

// `check`, `compile`, `pack` and `installer` read their script alike: read, checked.
bool load_script(const std::string& path, bool strict, std::vector<ScriptCommand>* commands,
                 std::string* error, std::vector<int>* lines = nullptr) {
    std::vector<int> numbers;
    lines = lines ? lines : &numbers;
    return read_script(path, commands, lines, error) &&
           passes_checks(path, *commands, *lines, strict, error);
}

const char g_check_usage[] = "Usage:\n" CHECK_HELP;

int check(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments,
                   {{"SCRIPT", true, ARGS_OPERAND}, {"--strict", false, ARGS_FLAG}}, g_check_usage,
                   &values, &exit_code)) {
        return exit_code;
    }
    const std::string source = values["SCRIPT"];
    bool strict = values.count("--strict") != 0;
    std::vector<ScriptCommand> commands;
    std::string error;
    return load_script(source, strict, &commands, &error) ? ARGS_EXIT_DONE : args_fail(error);
}

const char g_compile_usage[] = "Usage:\n" COMPILE_HELP;

int compile(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(
            count, arguments,
            {{"SCRIPT.txt", true, ARGS_OPERAND}, {"-o", true}, {"--strict", false, ARGS_FLAG}},
            g_compile_usage, &values, &exit_code)) {
        return exit_code;
    }
    const std::string source = values["SCRIPT.txt"];
    const std::string output = values["-o"];
    bool strict = values.count("--strict") != 0;
    std::string error;
    std::vector<ScriptCommand> commands;
    if (!load_script(source, strict, &commands, &error)) {
        return args_fail(error);
    }
    if (!write_file(output, ffspack_compile(commands), &error)) {
        return args_fail(error);
    }
    return ARGS_EXIT_DONE;
}

// The stub with the script appended as its archive. A stub that carries an
// archive already is refused unless `replace`, which replaces it whole; a
// signed stub loses its signature, which would no longer cover the file.
bool pack_uninstaller(const std::string& stub_path, const std::vector<ScriptCommand>& commands,
                      bool replace, std::string* packed, std::string* error) {
    std::string stub;
    if (!read_file(stub_path, &stub, error)) {
        return false;
    }
    ArchiveLocation found = ffspack_locate(stub);
    if (found.state == ARCHIVE_FOUND && !replace) {
        *error = "'" + stub_path + "' already carries an archive; give --replace to replace it";
        return false;
    }
    if (found.state == ARCHIVE_DAMAGED_TABLE) {
        *error = ffspack_no_archive(stub_path, found);
        return false;
    }
    if (!ffspack_pack(ffspack_image(stub, found), ffspack_compile(commands), packed, error)) {
        *error = stub_path + ": " + *error;
        return false;
    }
    return true;
}

using Finish = std::function<bool(const std::string&, std::string*)>;

// Signs a packed program written for `output` in place with the maker's
// command; the signed file must still carry its archive where the stub finds it.
Finish packed_signer(const std::string& command, const std::string& output,
                     const std::string& packed) {
    return [command, output, packed](const std::string& staged, std::string* fault) {
        std::string signed_file;
        return sign_command_run(command, staged, fault) && read_file(staged, &signed_file, fault) &&
               ffspack_signed_intact(output, packed, signed_file, fault);
    };
}

const char g_pack_usage[] = "Usage:\n" PACK_HELP;

int pack(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments,
                   {{"--stub", true},
                    {"--script", true},
                    {"-o", true},
                    {"--replace", false, ARGS_FLAG},
                    {"--strict", false, ARGS_FLAG},
                    {"--sign-command", false}},
                   g_pack_usage, &values, &exit_code)) {
        return exit_code;
    }
    const std::string stub_path = values["--stub"];
    const std::string script_path = values["--script"];
    const std::string output = values["-o"];
    bool replace = values.count("--replace") != 0;
    bool strict = values.count("--strict") != 0;
    bool signing = values.count("--sign-command") != 0;
    const std::string sign_command = values["--sign-command"];
    std::string error;
    std::vector<std::string> split;
    if (signing && !sign_command_split(sign_command, output, &split, &error)) {
        return args_usage_error("pack: " + error, g_pack_usage);
    }

    std::string packed;
    std::vector<ScriptCommand> commands;
    if (!load_script(script_path, strict, &commands, &error) ||
        !pack_uninstaller(stub_path, commands, replace, &packed, &error) ||
        !write_file(output, packed, &error,
                    signing ? packed_signer(sign_command, output, packed) : nullptr)) {
        return args_fail(error);
    }
    return ARGS_EXIT_DONE;
}

// The work folder of an installer: a new temporary folder, removed with all
// it holds when done, or the folder of a kept script, which stays.
struct WorkFolder {
    fs::path temporary;
    ~WorkFolder() {
        std::error_code ignored;
        if (!temporary.empty()) {
            fs::remove_all(temporary, ignored);
        }
    }

    bool create(std::string* error) {
        std::error_code failure;
        fs::path parent = fs::temp_directory_path(failure);
        std::random_device random;
        for (int attempt = 0; !failure && attempt < 100; ++attempt) {
            fs::path folder = parent / ("ffspack-" + std::to_string(random()));
            if (fs::create_directory(folder, failure)) {
                temporary = folder;
                return true;
            }
        }
        *error = "cannot create a temporary folder: " + failure.message();
        return false;
    }
};

// Runs makensis on `script`; its setup.exe is made beside `output`, signed
// there by `sign` when given, and renamed into place. makensis's output is
// shown only when it fails.
int build_setup(const std::string& makensis, const std::string& script, const std::string& output,
                const Finish& sign) {
    std::string temporary;
    std::string error;
    int descriptor = create_beside(output, &temporary, &error);
    if (descriptor < 0) {
        return args_fail(error);
    }
    close(descriptor);
    std::string printed;
    int exit_code = 0;
    std::string define =
        "-DFFSPACK_OUTFILE=" + nsis_escape(fs::absolute(temporary).u8string(), NSIS_BUILD_TIME);
    if (!makensis_run(makensis, {"-INPUTCHARSET", "UTF8", define, script}, &exit_code, &printed,
                      &error)) {
        remove(temporary.c_str());
        return args_fail(error);
    }
    if (exit_code != 0) {
        remove(temporary.c_str());
        fprintf(stderr, "ffspack: makensis failed (exit %d)\n%s", exit_code, printed.c_str());
        return ARGS_EXIT_FAILED;
    }
    // Signing tools may go by the extension.
    std::string staged = temporary + ".exe";
    if (sign && (!replace_file(temporary.c_str(), staged.c_str()) || !sign(staged, &error))) {
        remove(temporary.c_str());
        remove(staged.c_str());
        return args_fail(error.empty() ? "cannot write '" + staged + "': " + strerror(errno)
                                       : error);
    }
    if (!replace_file((sign ? staged : temporary).c_str(), output.c_str())) {
        error = "cannot write '" + output + "': " + strerror(errno);
        remove((sign ? staged : temporary).c_str());
        return args_fail(error);
    }
    return ARGS_EXIT_DONE;
}

const char g_installer_usage[] = "Usage:\n" INSTALLER_HELP;

int installer(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments,
                   {{"--script", true},
                    {"--files", true},
                    {"--stub", true},
                    {"-o", true},
                    {"--nsi", false},
                    {"--makensis", false},
                    {"--replace", false, ARGS_FLAG},
                    {"--strict", false, ARGS_FLAG},
                    {"--sign-command", false}},
                   g_installer_usage, &values, &exit_code)) {
        return exit_code;
    }
    const std::string script_path = values["--script"], files = values["--files"],
                      stub_path = values["--stub"], output = values["-o"], kept = values["--nsi"],
                      makensis = values["--makensis"], sign_command = values["--sign-command"];
    bool replace = values.count("--replace") != 0;
    bool strict = values.count("--strict") != 0;
    std::string error;
    std::vector<std::string> split;
    if (!sign_command.empty() && !sign_command_split(sign_command, output, &split, &error)) {
        return args_usage_error("installer: " + error, g_installer_usage);
    }
    InstallerInput input;
    input.script_name = script_path;
    input.files_dir = files;
    std::string packed;
    if (!load_script(script_path, strict, &input.commands, &error, &input.lines) ||
        !pack_uninstaller(stub_path, input.commands, replace, &packed, &error)) {
        return args_fail(error);
    }
    WorkFolder work;
    if (kept.empty() && !work.create(&error)) {
        return args_fail(error);
    }
    // OUT.nsi keeps OUT.product.nsh and OUT.uninstall.exe beside it.
    std::string base = kept.empty() ? (work.temporary / "setup").string() : kept;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".nsi") == 0) {
        base.resize(base.size() - 4);
    }
    std::string script = kept.empty() ? base + ".nsi" : kept;
    std::string include = base + ".product.nsh";
    std::string uninstaller = base + ".uninstall.exe";
    input.uninstaller_source = fs::absolute(uninstaller).u8string();
    input.uninstaller_size = packed.size();

    InstallerPlan plan;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    installer_plan(input, &plan, &errors, &warnings);
    plan.target = installer_target(packed);
    for (const std::string& warning : warnings) {
        fprintf(stderr, "ffspack: warning: %s\n", warning.c_str());
    }
    if (strict && !warnings.empty() && errors.empty()) {
        errors.push_back(files + ": " + std::to_string(warnings.size()) + " warning" +
                         (warnings.size() == 1 ? "" : "s") + " with --strict");
    }
    for (const std::string& fault : errors) {
        fprintf(stderr, "ffspack: %s\n", fault.c_str());
    }
    if (!errors.empty()) {
        return ARGS_EXIT_FAILED;
    }
    Finish sign_packed =
        sign_command.empty() ? nullptr : packed_signer(sign_command, uninstaller, packed);
    if (!write_file(uninstaller, packed, &error, sign_packed) ||
        !write_file(include, installer_include(plan), &error) ||
        !write_file(
            script,
            installer_main(plan, fs::absolute(include).u8string(), fs::absolute(output).u8string()),
            &error)) {
        return args_fail(error);
    }
    Finish sign_setup = nullptr;
    if (!sign_command.empty()) {
        sign_setup = [&sign_command](const std::string& staged, std::string* fault) {
            return sign_command_run(sign_command, staged, fault);
        };
    }
    return build_setup(makensis, script, output, sign_setup);
}

const char g_dump_usage[] = "Usage:\n" DUMP_HELP;

int dump(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments, {{"FILE.exe", true, ARGS_OPERAND}}, g_dump_usage, &values,
                   &exit_code)) {
        return exit_code;
    }
    const std::string path = values["FILE.exe"];
    std::string file;
    std::string error;
    if (!read_file(path, &file, &error)) {
        return args_fail(error);
    }
    std::string script;
    if (!ffspack_embedded_script(path, file, &script, &error)) {
        return args_fail(error);
    }
    std::vector<ScriptCommand> commands = ffspack_decompile(script);
    if (commands.empty()) {
        return args_fail("'" + path + "' carries a damaged archive: it holds no script command");
    }
    std::string text = ffspack_source_text(commands);
    fwrite(text.data(), 1, text.size(), stdout);
    return fflush(stdout) == 0 ? ARGS_EXIT_DONE
                               : args_fail("cannot write the script to standard output");
}

const char g_keygen_usage[] = "Usage:\n" KEYGEN_HELP;

int keygen(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments, {{"--out", true}}, g_keygen_usage, &values, &exit_code)) {
        return exit_code;
    }
    const std::string path = values["--out"];
    std::string pem;
    std::string public_hex;
    std::string error;
    if (!signing_keygen(&pem, &public_hex, &error)) {
        return args_fail(error);
    }
    // The old key may be the one that shipped products trust: never replace it.
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0600);
    if (descriptor < 0) {
        return args_fail(errno == EEXIST
                             ? "'" + path + "' exists already; keygen never replaces a key"
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
        return args_fail(error);
    }
    printf("UPDATE KEY:%s\n", public_hex.c_str());
    return fflush(stdout) == 0 ? ARGS_EXIT_DONE
                               : args_fail("cannot write the key line to standard output");
}

const char g_sign_usage[] = "Usage:\n" SIGN_HELP;

int sign(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments, {{"--key", true}, {"FILE", true, ARGS_OPERAND}}, g_sign_usage,
                   &values, &exit_code)) {
        return exit_code;
    }
    const std::string key_path = values["--key"];
    const std::string file_path = values["FILE"];
    std::string pem;
    std::string bytes;
    std::string signature;
    std::string error;
    if (!read_file(key_path, &pem, &error) || !read_file(file_path, &bytes, &error)) {
        return args_fail(error);
    }
    if (!signing_sign(pem, bytes, &signature, &error)) {
        return args_fail(key_path + ": " + error);
    }
    printf("%s\n", signature.c_str());
    return fflush(stdout) == 0 ? ARGS_EXIT_DONE
                               : args_fail("cannot write the signature to standard output");
}

} // namespace

int main(int argc, char** argv) {
    const ArgsTool ffspack = {"ffspack",
                              "1.0",
                              {{"check", CHECK_HELP, check},
                               {"compile", COMPILE_HELP, compile},
                               {"pack", PACK_HELP, pack},
                               {"installer", INSTALLER_HELP, installer},
                               {"dump", DUMP_HELP, dump},
                               {"keygen", KEYGEN_HELP, keygen},
                               {"sign", SIGN_HELP, sign}},
                              g_notes,
                              nullptr};
    return args_main(ffspack, argc, argv);
}
