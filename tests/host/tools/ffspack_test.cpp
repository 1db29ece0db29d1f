#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ffs.h"
#include "archive_file.h"
#include "core/log.h"
#include "core/memory.h"
#include "script/keyword_list.h"
#include "source.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

namespace {

const std::string g_sample = std::string(SAMPLES_DIR) + "/sample-product.txt";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool exists(const std::string& path) {
    struct stat entry;
    return stat(path.c_str(), &entry) == 0;
}

struct Result {
    int status;
    std::string output; // standard output and standard error
};

Result ffspack(const std::string& arguments) {
    std::string line = std::string(FFSPACK_PATH) + " " + arguments + " 2>&1";
    Result result{-1, ""};
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    size_t read = 0;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, read);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shell_quoted(const std::string& path) {
    return "'" + path + "'";
}

// The commands of a readable script: every line but blanks and comments.
std::vector<std::string> source_commands(const std::string& text) {
    std::vector<std::string> commands;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != '#') {
            commands.push_back(line);
        }
    }
    return commands;
}

const std::string g_stub = std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(300, '\0') + "PE";

TEST(FfspackSource, CommentsAndBlankLinesAreDroppedAndLineEndsMayBeCrLf) {
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(ffspack_parse_source("s.txt",
                                     "# comment\n\nCOMPANY NAME:Acme\r\n  \t \ncompany name:a\tb\n"
                                     "ADD ITEM:1\tx\t\tName",
                                     &commands, &error))
        << error;
    EXPECT_EQ((std::vector<ScriptCommand>{"COMPANY NAME:Acme", "company name:a\tb",
                                          "ADD ITEM:1\tx\t\tName"}),
              commands);
    EXPECT_EQ("\x16"
              "COMPANY NAME:Acme\r\n\x16"
              "company name:a\tb\r\n\x16"
              "ADD ITEM:1\tx\t\tName\r\n",
              ffspack_compile(commands));
}

TEST(FfspackSource, FaultsNameTheFileLineAndCause) {
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"COMPANY NAME:a\nFROB:x\n", "s.txt:2: unknown keyword 'FROB'"},
        {"COMPANY  NAME:a\n", "s.txt:1: unknown keyword 'COMPANY  NAME'"},
        {"\n\nCOMPANY NAME\n", "s.txt:3: no ':' after the keyword in 'COMPANY NAME'"},
        {" TEXT:x\n", "s.txt:1: unknown keyword ' TEXT'"},
        {":x\n", "s.txt:1: unknown keyword ''"},
        {"TEXT:a\x01"
         "b\n",
         "s.txt:1: control byte 0x01 in the arguments of TEXT (only the tab may separate them)"},
        {"TEXT:a\x16"
         "b\n",
         "s.txt:1: control byte 0x16 in the arguments of TEXT (only the tab may separate them)"},
        {"TEXT:a\rb\n",
         "s.txt:1: control byte 0x0D in the arguments of TEXT (only the tab may separate them)"},
        {std::string("TEXT:a\0b\n", 9),
         "s.txt:1: control byte 0x00 in the arguments of TEXT (only the tab may separate them)"},
        {"TE\x01XT:a\n", "s.txt:1: unknown keyword 'TE\\x01XT'"},
    };
    for (const Case& c : cases) {
        std::vector<ScriptCommand> commands;
        std::string error;
        EXPECT_FALSE(ffspack_parse_source("s.txt", c.text, &commands, &error))
            << testing::PrintToString(c.text);
        EXPECT_EQ(c.error, error);
    }
}

TEST(FfspackSource, EveryKeywordOfTheEngineIsAccepted) {
#define KEYWORD_LINE(keyword, handler) keyword ":x\n"
    const std::string text = SCRIPT_KEYWORDS(KEYWORD_LINE);
#undef KEYWORD_LINE
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(ffspack_parse_source("all.txt", text, &commands, &error)) << error;
    EXPECT_EQ(29u, commands.size());
}

TEST(FfspackSource, DecompilingGivesTheCommandsBack) {
    const std::vector<ScriptCommand> commands = {"COMPANY NAME:Acme", "ADD ITEM:1\tx\t\tName",
                                                 "INSTALL:", "TEXT: \xe9"};
    EXPECT_EQ(commands, ffspack_decompile(ffspack_compile(commands)));
    EXPECT_EQ((std::vector<ScriptCommand>{"A:1", "B:2", "C:3"}), ffspack_decompile("junk\x16"
                                                                                   "A:1\n\x16"
                                                                                   "B:2\x16"
                                                                                   "C:3\r"));
    EXPECT_TRUE(ffspack_decompile("no marks").empty());
}

TEST(FfspackSource, TheSampleUsesEveryKeyword) {
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(ffspack_parse_source(g_sample, slurp(g_sample), &commands, &error)) << error;
    std::set<std::string> used;
    for (const ScriptCommand& command : commands) {
        used.insert(command.substr(0, command.find(':')));
    }
    EXPECT_EQ(29u, used.size());
}

class FfspackArchive : public testing::Test {
  protected:
    void SetUp() override {
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        mem_init(MEM_LIMIT_MAXIMUM, 0);
    }
    void TearDown() override {
        ffs_close();
        log_close();
    }

    // What the stub's reader hands out for the packed file.
    std::string read_back(const std::string& packed) {
        std::string path = write_bytes_file(test_file_name("exe"), packed);
        if (!ffs_open(path.c_str())) {
            return "<no archive: " + read_file(log_path_) + ">";
        }
        int size = 0;
        ffs_file_size("install.dat", &size);
        std::string data(static_cast<size_t>(size), '\0');
        ffs_read_file("install.dat", &data[0], size);
        ffs_close();
        return data;
    }
    std::string log_path_;
};

TEST_F(FfspackArchive, TheReaderGivesThePackedScriptAndTrailerBytesWithoutACommandMark) {
    // Every script length meets every position of the key: no trailer byte,
    // as the reader descrambles it, may start a command.
    std::string script;
    for (int length = 0; length < 60; ++length) {
        for (size_t image = 1; image < 2000; image += 97) {
            std::string packed;
            std::string error;
            ASSERT_TRUE(ffspack_pack(std::string(image, 'i'), script, &packed, &error)) << error;
            ArchiveLocation found = ffspack_locate(packed);
            ASSERT_EQ(ARCHIVE_FOUND, found.state);
            ASSERT_EQ(image, found.trailer);
            std::string data = read_back(packed);
            ASSERT_GE(data.size(), script.size() + 4) << data;
            EXPECT_EQ(script, data.substr(0, script.size()));
            EXPECT_EQ(std::string::npos, data.find('\x16', script.size()))
                << "length " << length << ", image " << image;
            EXPECT_EQ(std::string(data.size() - script.size() - 4, '\0'),
                      data.substr(script.size(), data.size() - script.size() - 4))
                << "only zero bytes pad the script";
        }
        script += static_cast<char>('a' + length % 26);
    }
}

TEST_F(FfspackArchive, AnEmptyStubIsRefused) {
    std::string packed;
    std::string error;
    EXPECT_FALSE(ffspack_pack("", "\x16TEXT:x\r\n", &packed, &error));
    EXPECT_EQ("the stub is empty: an archive at offset 0 cannot be found", error);
}

TEST_F(FfspackArchive, LocatingTellsNoArchiveFromAMissingTag) {
    std::string packed;
    std::string error;
    ASSERT_TRUE(ffspack_pack(g_stub, "\x16TEXT:x\r\n", &packed, &error));
    EXPECT_EQ(ARCHIVE_NONE, ffspack_locate(g_stub).state);
    EXPECT_EQ(ARCHIVE_NONE, ffspack_locate("abc").state);
    std::string no_tag = packed;
    no_tag[g_stub.size()] = 'X';
    EXPECT_EQ(ARCHIVE_NO_TAG, ffspack_locate(no_tag).state);
    EXPECT_EQ(ARCHIVE_NONE, ffspack_locate(packed.substr(0, packed.size() - 1)).state);
}

class FfspackTool : public testing::Test {
  protected:
    void SetUp() override {
        directory_ = log_file_path(test_file_name("work"));
        std::string clean =
            "rm -rf " + shell_quoted(directory_) + " && mkdir -p " + shell_quoted(directory_);
        ASSERT_EQ(0, system(clean.c_str()));
        stub_ = path("stub.exe");
        write(stub_, g_stub);
    }
    std::string path(const std::string& name) { return directory_ + "/" + name; }
    void write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    // Names in the work folder, so that a left-over temporary file shows.
    std::set<std::string> listing() {
        std::set<std::string> names;
        FILE* pipe = popen(("ls -A " + shell_quoted(directory_)).c_str(), "r");
        char line[512];
        while (pipe && fgets(line, sizeof line, pipe)) {
            std::string name(line);
            names.insert(name.substr(0, name.find('\n')));
        }
        if (pipe) {
            pclose(pipe);
        }
        return names;
    }
    std::string directory_;
    std::string stub_;
};

TEST_F(FfspackTool, CompilePackAndDumpGiveTheSampleBack) {
    std::string dat = path("install.dat");
    std::string out = path("uninstall.exe");
    Result compiled = ffspack("compile " + shell_quoted(g_sample) + " -o " + shell_quoted(dat));
    ASSERT_EQ(0, compiled.status) << compiled.output;
    EXPECT_EQ("", compiled.output);
    std::vector<std::string> commands = source_commands(slurp(g_sample));
    EXPECT_EQ(ffspack_compile(commands), slurp(dat));

    Result packed = ffspack("pack --stub " + shell_quoted(stub_) + " --script " +
                            shell_quoted(dat) + " -o " + shell_quoted(out));
    ASSERT_EQ(0, packed.status) << packed.output;
    std::string image = slurp(out);
    EXPECT_EQ(g_stub, image.substr(0, g_stub.size())) << "the stub is kept byte for byte";
    EXPECT_EQ("FFS?", image.substr(g_stub.size(), 4));

    Result dumped = ffspack("dump " + shell_quoted(out));
    ASSERT_EQ(0, dumped.status) << dumped.output;
    EXPECT_EQ(ffspack_source_text(commands), dumped.output);

    // Packing the readable source directly gives the same file.
    std::string direct = path("direct.exe");
    ASSERT_EQ(0, ffspack("pack --stub " + shell_quoted(stub_) + " --script " +
                         shell_quoted(g_sample) + " -o " + shell_quoted(direct))
                     .status);
    EXPECT_EQ(image, slurp(direct));
}

TEST_F(FfspackTool, AStubWithAnArchiveIsReplacedOnlyWhenAsked) {
    std::string first = path("first.exe");
    std::string second = path("second.exe");
    write(path("one.txt"), "COMPANY NAME:One\n");
    write(path("two.txt"), "COMPANY NAME:Two\nPRODUCT NAME:Second\n");
    ASSERT_EQ(0, ffspack("pack --stub " + shell_quoted(stub_) + " --script " +
                         shell_quoted(path("one.txt")) + " -o " + shell_quoted(first))
                     .status);

    Result refused = ffspack("pack --stub " + shell_quoted(first) + " --script " +
                             shell_quoted(path("two.txt")) + " -o " + shell_quoted(second));
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("ffspack: '" + first + "' already carries an archive; give --replace to replace it\n",
              refused.output);
    EXPECT_FALSE(exists(second));

    ASSERT_EQ(0, ffspack("pack --replace --stub " + shell_quoted(first) + " --script " +
                         shell_quoted(path("two.txt")) + " -o " + shell_quoted(second))
                     .status);
    std::string fresh = path("fresh.exe");
    ASSERT_EQ(0, ffspack("pack --stub " + shell_quoted(stub_) + " --script " +
                         shell_quoted(path("two.txt")) + " -o " + shell_quoted(fresh))
                     .status);
    EXPECT_EQ(slurp(fresh), slurp(second)) << "the old archive is gone without a trace";
    EXPECT_EQ("COMPANY NAME:Two\nPRODUCT NAME:Second\n",
              ffspack("dump " + shell_quoted(second)).output);

    // Packing in place replaces the file whole.
    ASSERT_EQ(0, ffspack("pack --replace --stub " + shell_quoted(first) + " --script " +
                         shell_quoted(path("two.txt")) + " -o " + shell_quoted(first))
                     .status);
    EXPECT_EQ(slurp(fresh), slurp(first));
}

TEST_F(FfspackTool, BadInputsFailClearlyAndLeaveNoFile) {
    write(path("unknown.txt"), "COMPANY NAME:Acme\n# fine\nCOMPANY NAMES:Acme\n");
    write(path("control.txt"), "TEXT:a\x02z\n");
    write(path("empty.txt"), "# nothing but a comment\n\n");
    write(path("unknown.dat"), "\x16"
                               "COMPANY NAME:Acme\r\n\x16"
                               "FROB:x\r\n");
    write(path("old.exe"), "previous contents");
    write(path("empty.exe"), "");
    const std::string missing = path("missing.txt");
    struct Case {
        std::string arguments;
        int status;
        std::string output;
    } cases[] = {
        {"compile " + shell_quoted(missing) + " -o " + shell_quoted(path("o.dat")), 1,
         "ffspack: cannot open '" + missing + "': No such file or directory\n"},
        {"compile " + shell_quoted(path("unknown.txt")) + " -o " + shell_quoted(path("o.dat")), 1,
         "ffspack: " + path("unknown.txt") + ":3: unknown keyword 'COMPANY NAMES'\n"},
        {"compile " + shell_quoted(path("control.txt")) + " -o " + shell_quoted(path("o.dat")), 1,
         "ffspack: " + path("control.txt") +
             ":1: control byte 0x02 in the arguments of TEXT (only the tab may separate them)\n"},
        {"compile " + shell_quoted(path("empty.txt")) + " -o " + shell_quoted(path("o.dat")), 1,
         "ffspack: " + path("empty.txt") + ": the script holds no command\n"},
        {"compile " + shell_quoted(g_sample) + " -o " + shell_quoted(path("no/such/dir/o.dat")), 1,
         "ffspack: cannot write '" + path("no/such/dir/o.dat") + "': No such file or directory\n"},
        {"pack --stub " + shell_quoted(path("missing.exe")) + " --script " +
             shell_quoted(g_sample) + " -o " + shell_quoted(path("old.exe")),
         1, "ffspack: cannot open '" + path("missing.exe") + "': No such file or directory\n"},
        {"pack --stub " + shell_quoted(stub_) + " --script " + shell_quoted(path("unknown.dat")) +
             " -o " + shell_quoted(path("old.exe")),
         1, "ffspack: " + path("unknown.dat") + ": command 2: unknown keyword 'FROB'\n"},
        {"pack --stub " + shell_quoted(stub_) + " --script " + shell_quoted(path("unknown.txt")) +
             " -o " + shell_quoted(path("old.exe")),
         1, "ffspack: " + path("unknown.txt") + ":3: unknown keyword 'COMPANY NAMES'\n"},
        {"pack --stub " + shell_quoted(path("empty.exe")) + " --script " + shell_quoted(g_sample) +
             " -o " + shell_quoted(path("old.exe")),
         1,
         "ffspack: " + path("empty.exe") +
             ": the stub is empty: an archive at offset 0 cannot be found\n"},
        {"dump " + shell_quoted(stub_), 1,
         "ffspack: '" + stub_ +
             "' carries no archive (its trailer 1162870784 points at no place "
             "inside the file)\n"},
        {"dump " + shell_quoted(missing), 1,
         "ffspack: cannot open '" + missing + "': No such file or directory\n"},
    };
    const std::set<std::string> before = listing();
    for (const Case& c : cases) {
        Result result = ffspack(c.arguments);
        EXPECT_EQ(c.status, result.status) << c.arguments;
        EXPECT_EQ(c.output, result.output) << c.arguments;
        EXPECT_EQ(before, listing()) << c.arguments << ": no output, no temporary file";
        EXPECT_EQ("previous contents", slurp(path("old.exe")));
    }
}

TEST_F(FfspackTool, DumpNamesADamagedArchive) {
    std::string out = path("damaged.exe");
    ASSERT_EQ(0, ffspack("pack --stub " + shell_quoted(stub_) + " --script " +
                         shell_quoted(g_sample) + " -o " + shell_quoted(out))
                     .status);
    std::string bytes = slurp(out);
    bytes[g_stub.size() + 1] = 'X';
    write(out, bytes);
    Result result = ffspack("dump " + shell_quoted(out));
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("ffspack: '" + out +
                  "' carries no archive or a damaged one (no \"FFS?\" tag with "
                  "data at offset 310)\n",
              result.output);

    // A tag and a trailer, but no command in between.
    std::string error;
    ASSERT_TRUE(ffspack_pack(g_stub, "no command here\r\n", &bytes, &error)) << error;
    write(out, bytes);
    result = ffspack("dump " + shell_quoted(out));
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("ffspack: '" + out + "' carries a damaged archive: it holds no script command\n",
              result.output);
}

TEST_F(FfspackTool, UsageErrorsExitWith2AndHelpWith0) {
    Result help = ffspack("--help");
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.output.find("Usage:\n  ffspack compile SCRIPT.txt -o install.dat\n"));
    for (const std::string& arguments :
         {std::string(""), std::string("frobnicate"), std::string("compile"),
          "compile " + shell_quoted(g_sample), "compile " + shell_quoted(g_sample) + " -o",
          std::string("pack --stub x.exe"), std::string("pack --bogus"), std::string("dump"),
          std::string("dump a b")}) {
        Result result = ffspack(arguments);
        EXPECT_EQ(2, result.status) << arguments;
        EXPECT_EQ(0u, result.output.find("ffspack: ")) << arguments;
        EXPECT_NE(std::string::npos, result.output.find("Usage:")) << arguments;
    }
}

} // namespace
