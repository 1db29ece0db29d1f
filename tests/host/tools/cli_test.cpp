// The maker's three tools speak one dialect: the exit code and first line of
// each answer, as a maker's script sees them.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// "CODE FIRST-LINE" of the tool run with `arguments`, stdout and stderr together.
std::string first_line(const std::string& tool, const std::string& arguments) {
    FILE* pipe = popen((tool + " " + arguments + " </dev/null 2>&1").c_str(), "r");
    std::string output;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        output.append(chunk, got);
    }
    int status = pclose(pipe);
    return std::to_string(WEXITSTATUS(status)) + " " + output.substr(0, output.find('\n'));
}

TEST(MakersTools, OneDialect) {
    const std::string usage = " COMMAND [OPTIONS]    (";
    // clang-format off
    const std::string rows[][3] = { // tool, arguments, exit code and first line
        {FFSPACK_PATH, "--help", "0 Usage: ffspack" + usage + "ffspack COMMAND --help tells more)"},
        {FFSPACK_PATH, "dump --help", "0 Usage:"},
        {FFSPACK_PATH, "--version", "0 ffspack 1.0 (Uninstall 1.50)"},
        {FFSPACK_PATH, "", "2 ffspack: no command given"},
        {FFSPACK_PATH, "frob", "2 ffspack: unknown command 'frob'"},
        {FFSPACK_PATH, "pack --frob", "2 ffspack: unknown argument '--frob'"},
        {FFSPACK_PATH, "check a.txt b.txt", "2 ffspack: unexpected argument 'b.txt'"},
        {FFSPACK_PATH, "compile a.txt -o", "2 ffspack: -o needs a value"},
        {FFSPACK_PATH, "keygen --out a --out b", "2 ffspack: --out is given twice"},
        {FFSPACK_PATH, "dump", "2 ffspack: FILE.exe is missing"},
        {FFSPACK_PATH, "dump /no/such.exe", "1 ffspack: cannot open '/no/such.exe': No such file or directory"},
        {REGDECODE_PATH, "--help", "0 Usage: regdecode" + usage + "regdecode COMMAND --help tells more)"},
        {REGDECODE_PATH, "decode --help", "0 Usage:"},
        {REGDECODE_PATH, "--version", "0 regdecode 1.0 (Uninstall 1.50)"},
        {REGDECODE_PATH, "--frob", "2 regdecode: unknown argument '--frob'"},
        {REGDECODE_PATH, "decode a b", "2 regdecode: unexpected argument 'b'"},
        {REGDECODE_PATH, "", "1 regdecode: body of 0 bytes is shorter than the shortest head (34 bytes)"},
        {REGDECODE_PATH, "/no/such", "1 regdecode: cannot open '/no/such'"},
        {REGDECODE_PATH, "decode /no/such", "1 regdecode: cannot open '/no/such'"},
        {MAKERD_PATH, "--help", "0 Usage: makerd" + usage + "makerd COMMAND --help tells more)"},
        {MAKERD_PATH, "export --help", "0 Usage: makerd export --db FILE [--format csv|json]"},
        {MAKERD_PATH, "--version", "0 makerd 1.0 (Uninstall 1.50)"},
        {MAKERD_PATH, "frob", "2 makerd: unknown command 'frob'"},
        {MAKERD_PATH, "export --db a.db --frob b", "2 makerd: unknown argument '--frob'"},
        {MAKERD_PATH, "export", "2 makerd: --db is missing"},
        {MAKERD_PATH, "export --db /no/such/a.db", "1 makerd: cannot open the database '/no/such/a.db': unable to open database file"}};
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(row[2], first_line(row[0], row[1])) << row[0] << " " << row[1];
    }
}

} // namespace
