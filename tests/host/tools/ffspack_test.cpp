// The packer against the stub's own reader, and the ffspack program's
// commands, exit codes and error texts.
#include <openssl/ec.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>

#include "archive/ffs.h"
#include "archive_file.h"
#include "check.h"
#include "core/log.h"
#include "core/memory.h"
#include "script/keyword_list.h"
#include "sign_command.h"
#include "source.h"
#include "support/log_file.h"
#include "support/pe_file.h"
#include "tools/ffspack_run.h"

namespace {

const std::string g_sample = SAMPLES_DIR "/sample-product.txt";
const std::string g_stub = std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(300, '\0') + "PE";

TEST(Ffspack, TheReaderGivesThePackedScriptWithNoCommandMarkAfterIt) {
    std::string log = open_test_log("ffspack_reader.log", LOG_FILE);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    // Every script length meets every position of the key: no trailer byte,
    // as the reader descrambles it, may start a command.
    std::string script;
    for (int length = 0; length < 60; ++length, script += static_cast<char>('a' + length % 26)) {
        for (size_t image = 1; image < 2000; image += 97) {
            std::string packed, error;
            ASSERT_TRUE(ffspack_pack(std::string(image, 'i'), script, &packed, &error)) << error;
            ASSERT_EQ(image, ffspack_locate(packed).trailer);
            ASSERT_EQ(0u, packed.size() % 8); // a signing tool adds no padding
            ASSERT_EQ(1, ffs_open(write_bytes_file("ffspack_reader.exe", packed).c_str()))
                << read_file(log);
            int size = 0;
            ffs_file_size("install.dat", &size);
            std::string data(static_cast<size_t>(size), '\0');
            ffs_read_file("install.dat", &data[0], size);
            ffs_close();
            ASSERT_GE(data.size(), script.size() + 4);
            EXPECT_EQ(script + std::string(data.size() - script.size() - 4, '\0'),
                      data.substr(0, data.size() - 4)); // only zero bytes pad the script
            EXPECT_EQ(std::string::npos, data.find('\x16', script.size()))
                << length << " " << image;
        }
    }
    std::string packed, error;
    EXPECT_FALSE(ffspack_pack("", "\x16TEXT:x\r\n", &packed, &error));
    EXPECT_EQ("the stub is empty: an archive at offset 0 cannot be found", error);
    log_close();
}

TEST(Ffspack, TheCheckSaysWhatWouldGoWrongAtTheUsers) {
    const std::string base =
        "COMPANY NAME:Acme\nPRODUCT NAME:Tool\nREGISTRY PATH:r\nINSTALL DIR:d\n"
        "INSTALL PATH:p\n";
    const std::string out = "' is absolute or holds '..': the uninstaller would delete outside the "
                            "product's folder\n";
    // clang-format off
    const std::string cases[][2] = {
        {base + "FILE LIST:a,$3b,c\\d\nTEXT:\nINSTALL:\nDONE:" + std::string(159, 'x') + "\n", ""},
        {base + "FILE LIST:a,..\\x,C:\\x,/x," + std::string(144, 'n') + "\nINSTALL:\nDONE:x\n",
         "s:6: the name '..\\x" + out + "s:6: the name 'C:\\x" + out + "s:6: the name '/x" + out +
         "s:6: the name 'nnnnnnnnnnnnnnnnnnnn...' has 144 characters: the program refuses names over 143 and keeps the file\n"},
        {"INSTALL PATH:p\nREGISTRY PATH:r\nINSTALL:\nFILE LIST:a\nDONE:x\nUPDATE KEY:u\nINSTALL DIR:d\n",
         "s:2: REGISTRY PATH comes after INSTALL PATH (line 1): the installation folder is not read from the registry\n"
         "s:7: INSTALL DIR comes after INSTALL PATH (line 1): the installation folder is computed without it\n"
         "s:4: FILE LIST comes after INSTALL (line 3): none of the listed files is removed\n"
         "s:6: UPDATE KEY comes after DONE (line 5): the update is not checked against the key\n"},
        {base + "ADD ITEM:1\tt\tx\tR\nCREATE GROUP:G\nOLE:REGISTER\nINSTALL:x\nDONE:x\nADD ITEM:1\tt\t-register\tR\n",
         "s:6: ADD ITEM before any CREATE GROUP: its shortcut is looked for in the Programs folder itself\n"
         "s:8: OLE takes 2 arguments, not 1: the missing ones are read as empty\n"
         "s:9: INSTALL takes 0 arguments, not 1: the others are ignored\n"
         "s:11: the registration shortcut's ADD ITEM comes after DONE (line 10): the shortcut is not removed once registered\n"},
        // FILE LIST is read whole; a component that INSTALL deletes is gone before OLE unregisters it.
        {base + "FILE LIST:" + std::string(160, 'a') + ",x.dll\nINSTALL NAME:app.exe\nOLE:REGISTER\tx.dll\nINSTALL:\n"
                "OLE:register\tX.DLL\nOLE:REGISTER\t$2x.dll\nOLE:REGISTER\tapp.exe\nDONE:x\n",
         "s:6: the name 'aaaaaaaaaaaaaaaaaaaa...' has 160 characters: the program refuses names over 143 and keeps the file\n"
         "s:10: OLE comes after INSTALL (line 9), which deletes 'X.DLL': the component stays registered, as it is deleted before it is unregistered\n"
         "s:12: OLE comes after INSTALL (line 9), which deletes 'app.exe': the component stays registered, as it is deleted before it is unregistered\n"},
        // Personal data goes out encrypted only to an https:// address, in any letter case.
        {base + "REGISTER:http://m/r\ta\tb\nREGISTER:https://m/r\ta\tb\nREGISTER:HTTPS://m/r\ta\tb\n"
                "REGISTER:m/r\ta\tb\nINSTALL:\nDONE:x\n",
         "s:6: REGISTER sends the registrant's name, address, e-mail and telephone unencrypted to 'http://m/r': use an https:// address\n"
         "s:9: REGISTER sends the registrant's name, address, e-mail and telephone unencrypted to 'm/r': use an https:// address\n"},
        {"COMPANY NAME:" + std::string(100, 'c') + "\nPRODUCT NAME:ppppppp\nTEXT:" + std::string(160, 't'),
         "s:3: TEXT argument 1 has 160 characters: the program keeps 159\n"
         "s:2: the company and product names are too long together: the uninstall question cuts them\n"
         "s:3: no INSTALL: the uninstaller removes nothing\n"
         "s:3: no DONE: no uninstall entry is removed, no notice, no registration clean-up and no update\n"}};
    // clang-format on
    for (const auto& c : cases) {
        std::vector<ScriptCommand> commands;
        std::vector<int> lines;
        std::string error, warnings;
        ASSERT_TRUE(ffspack_parse_source("s", c[0], &commands, &error, &lines)) << error;
        for (const std::string& warning : ffspack_check_script("s", commands, lines)) {
            warnings += warning + "\n";
        }
        EXPECT_EQ(c[1], warnings) << c[0];
    }
}

TEST(Ffspack, TheGuideDocumentsEveryKeywordAndTheSampleIsClean) {
    const std::string guide = read_file(GUIDE_PATH);
#define DOCUMENTED(keyword, handler)                                                               \
    EXPECT_NE(guide.npos, guide.find("| `" keyword "` |")) << keyword;
    SCRIPT_KEYWORDS(DOCUMENTED)
#undef DOCUMENTED
    std::vector<ScriptCommand> commands;
    std::vector<int> lines;
    std::string error;
    ASSERT_TRUE(ffspack_parse_source(g_sample, read_file(g_sample), &commands, &error, &lines));
    EXPECT_EQ(std::vector<std::string>(), ffspack_check_script(g_sample, commands, lines));
}

// Whether keygen's "0 UPDATE KEY:X||Y" and sign's "0 r||s" sign `bytes`, checked by OpenSSL.
bool verifies(const std::string& key, const std::string& signature, const std::string& bytes) {
    long size = 0; // P-256's DER public key up to the point's 0x04 prefix, then X||Y
    unsigned char* der = OPENSSL_hexstr2buf(
        ("3059301306072a8648ce3d020106082a8648ce3d03010703420004" + key.substr(13, 128)).c_str(),
        &size);
    const unsigned char* cursor = der;
    EVP_PKEY* public_key = d2i_PUBKEY(nullptr, &cursor, size);
    BIGNUM *r = nullptr, *s = nullptr;
    BN_hex2bn(&r, signature.substr(2, 64).c_str());
    BN_hex2bn(&s, signature.substr(66, 64).c_str());
    ECDSA_SIG* pair = ECDSA_SIG_new();
    ECDSA_SIG_set0(pair, r, s);
    unsigned char* encoded = nullptr;
    int length = i2d_ECDSA_SIG(pair, &encoded);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool good =
        EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, public_key) == 1 &&
        EVP_DigestVerify(context, encoded, length,
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(encoded);
    ECDSA_SIG_free(pair);
    EVP_PKEY_free(public_key);
    OPENSSL_free(der);
    return good;
}

TEST(Ffspack, EveryCommandDoesItsJobAndFailuresSayWhy) {
    std::string dir = log_file_path("ffspack_work");
    ASSERT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()));
    ASSERT_EQ(0, chdir(dir.c_str()));
    std::ofstream("stub.exe", std::ios::binary) << g_stub;
    std::ofstream("two.txt")
        << "# a comment\n\nCOMPANY NAME:Two\r\nole:REGISTER\ta\nINSTALL:\nDONE:x\n";
    std::ofstream("warn.txt") << "TEXT:x\n";
    // Run with no standard input, as from a service: the new file may get descriptor 0.
    EXPECT_EQ("0 ", ffspack("compile " + g_sample + " -o install.dat <&-"));
    std::vector<ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(ffspack_parse_source(g_sample, read_file(g_sample), &commands, &error)) << error;
    EXPECT_EQ(ffspack_compile(commands), read_file("install.dat"));
    EXPECT_EQ("0 ", ffspack("pack --stub stub.exe --script install.dat -o a.exe"));
    EXPECT_EQ(g_stub + "FFS?", read_file("a.exe").substr(0, g_stub.size() + 4));
    EXPECT_EQ("0 " + ffspack_source_text(commands), ffspack("dump a.exe"));
    // A stub that carries an archive already is replaced only when asked, and whole.
    EXPECT_EQ("1 ffspack: 'a.exe' already carries an archive; give --replace to replace it\n",
              ffspack("pack --stub a.exe --script two.txt -o b.exe"));
    EXPECT_EQ("0 ", ffspack("pack --replace --stub a.exe --script two.txt -o a.exe"));
    EXPECT_EQ("0 COMPANY NAME:Two\nole:REGISTER\ta\nINSTALL:\nDONE:x\n", ffspack("dump a.exe"));
    EXPECT_EQ(g_stub, read_file("a.exe").substr(0, g_stub.size()));

    std::string line = ffspack("keygen --out maker.key");
    ASSERT_TRUE(std::regex_match(line, std::regex("0 UPDATE KEY:[0-9a-f]{128}\n"))) << line;
    EXPECT_EQ(0, system("test \"$(stat -c %a maker.key)\" = 600"));
    std::string installer = g_stub + std::string(70000, '\x16'); // past one read
    std::ofstream("setup.exe", std::ios::binary) << installer;
    std::string signature = ffspack("sign --key maker.key setup.exe");
    ASSERT_TRUE(std::regex_match(signature, std::regex("0 [0-9a-f]{128}\n"))) << signature;
    EXPECT_TRUE(verifies(line, signature, installer));
    EXPECT_FALSE(verifies(line, signature, installer.replace(70001, 1, "x")));
    ASSERT_EQ(0, system("openssl ecparam -name secp384r1 -genkey -noout -out p384.key"));
    std::ofstream("unknown.txt") << "COMPANY NAME:Acme\n# fine\nCOMPANY NAMES:Acme\n";
    std::ofstream("control.txt") << "TEXT:a\x02z\n";
    std::ofstream("empty.txt") << "# nothing but a comment\n\n";
    std::ofstream("unknown.dat") << "\x16"
                                 << "COMPANY NAME:Acme\r\n\x16"
                                 << "FROB:x\r\n";
    std::string damaged = read_file("a.exe").replace(g_stub.size() + 1, 1, "X");
    std::ofstream("damaged.exe", std::ios::binary) << damaged;
    // A trailer that points at the file's end, where no archive fits.
    std::ofstream("four.exe", std::ios::binary) << std::string("\x04\0\0\0", 4);
    // clang-format off
    std::tuple<const char*, const char*> cases[] = {
        {"compile missing.txt -o o.dat", "1 ffspack: cannot open 'missing.txt': No such file or directory\n"},
        {"compile unknown.txt -o o.dat", "1 ffspack: unknown.txt:3: unknown keyword 'COMPANY NAMES'\n"},
        {"compile control.txt -o o.dat", "1 ffspack: control.txt:1: control byte 0x02 in the arguments of TEXT (only the tab may separate them)\n"},
        {"compile empty.txt -o o.dat", "1 ffspack: empty.txt: the script holds no command\n"},
        {"compile two.txt -o no/o.dat", "1 ffspack: cannot write 'no/o.dat': No such file or directory\n"},
        {"pack --stub stub.exe --script unknown.dat -o o.exe", "1 ffspack: unknown.dat: command 2: unknown keyword 'FROB'\n"},
        {"dump stub.exe", "1 ffspack: 'stub.exe' carries no archive (its trailer 1162870784 points at no place inside the file)\n"},
        {"dump four.exe", "1 ffspack: 'four.exe' carries no archive (its trailer 4 points at no place inside the file)\n"},
        {"dump damaged.exe", "1 ffspack: 'damaged.exe' carries no archive or a damaged one (no \"FFS?\" tag with data at offset 310)\n"},
        {"keygen --out maker.key", "1 ffspack: 'maker.key' exists already; keygen never replaces a key\n"},
        {"sign --key missing.key setup.exe", "1 ffspack: cannot open 'missing.key': No such file or directory\n"},
        {"sign --key setup.exe setup.exe", "1 ffspack: setup.exe: not an EC P-256 private key (unencrypted PEM)\n"},
        {"sign --key p384.key setup.exe", "1 ffspack: p384.key: not an EC P-256 private key (unencrypted PEM)\n"},
        {"sign --key maker.key missing.exe", "1 ffspack: cannot open 'missing.exe': No such file or directory\n"},
        {"keygen -o maker.key", "2 ffspack: unknown argument '-o'\n"}, {"sign --key maker.key", "2 ffspack: FILE is missing\n"},
        {"check warn.txt", "0 ffspack: warning: warn.txt:1: no INSTALL: the uninstaller removes nothing\n"},
        {"compile warn.txt --strict -o o.dat", "1 ffspack: warning: warn.txt:1: no INSTALL"},
        {"compile two.txt", "2 ffspack: "}, {"--help", "0 Usage: ffspack COMMAND [OPTIONS]    (ffspack COMMAND --help tells more)\n  ffspack check SCRIPT.txt|install.dat|PACKED.exe [--strict]\n"}};
    // clang-format on
    for (auto [arguments, output] : cases) {
        EXPECT_EQ(output, ffspack(arguments).substr(0, strlen(output))) << arguments;
    }
    for (const char* name : {"b.exe", "o.dat", "o.exe"}) {
        EXPECT_FALSE(std::ifstream(name)) << name << ": a failure leaves no file";
    }
}

TEST(SignCommand, TheCommandIsSplitHereAndQuotedBackForWindows) {
    const std::string path = "C:\\Out Dir\\u \"1\".exe";
    // (command, its arguments joined by '|', their Windows command line; or the error)
    const std::string cases[][3] = {
        {"signtool sign /a %1", "signtool|sign|/a|" + path,
         "signtool sign /a \"C:\\Out Dir\\u \\\"1\\\".exe\""},
        {" \"C:\\Kits 10\\signtool.exe\"\tsign /f \"my \"cert.pfx %1 ",
         "C:\\Kits 10\\signtool.exe|sign|/f|my cert.pfx|" + path,
         "\"C:\\Kits 10\\signtool.exe\" sign /f \"my cert.pfx\" \"C:\\Out Dir\\u \\\"1\\\".exe\""},
        {"sh s.sh \"\" --in=%1 \"d\\ \\\\\"", "sh|s.sh||--in=" + path + "|d\\ \\\\",
         "sh s.sh \"\" \"--in=C:\\Out Dir\\u \\\"1\\\".exe\" \"d\\ \\\\\\\\\""},
        {"sign \"%1", "", "--sign-command has a double quote that is not closed"},
        {" \"\" %1", "", "--sign-command names no program"},
        {"signtool sign /a", "", "--sign-command has no %1 where the file's path goes"}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments;
        std::string error, joined;
        EXPECT_EQ(!c[1].empty(), sign_command_split(c[0], path, &arguments, &error)) << c[0];
        for (const std::string& argument : arguments) {
            joined += (joined.empty() ? "" : "|") + argument;
        }
        EXPECT_EQ(c[1], c[1].empty() ? "" : joined) << c[0];
        EXPECT_EQ(c[2], c[1].empty() ? error : sign_command_line(arguments)) << c[0];
    }
}

// pack --sign-command with osslsigncode and a certificate made here, on PE32 and
// PE32+ headers and on the real 32-bit stub: the file verifies, nothing follows
// the certificate table, and the reader, dump, check and pack read it.
TEST(Ffspack, PackSignsThroughTheMakersCommandAndSignedProgramsRead) {
    std::string dir = log_file_path("ffspack_signing");
    ASSERT_EQ(0, system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()));
    ASSERT_EQ(0, chdir(dir.c_str()));
    ASSERT_EQ(0, system("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
                        "-subj /CN=Test -days 2 2>/dev/null"));
    std::ofstream("sign.sh") << "osslsigncode sign -certs cert.pem -key key.pem -h sha256 "
                                "-in \"$1\" -out \"$1.s\" >/dev/null && mv -f \"$1.s\" \"$1\"\n";
    std::ofstream("fail.sh") << "echo \"no token for [$1]\"; exit 3\n";
    std::ofstream("shift.sh") << "printf x >> \"$1\"; sh sign.sh \"$1\"\n";
    std::ofstream("pe32.exe", std::ios::binary) << pe_file_image(PE_FILE_32, 1024);
    std::ofstream("pe64.exe", std::ios::binary) << pe_file_image(PE_FILE_64, 1024);
    std::ofstream("stub32.exe", std::ios::binary) << read_file(STUB32_PATH);
    ASSERT_NE("", read_file("stub32.exe")) << STUB32_PATH << ": build the win32 preset's stub";
    std::string log = open_test_log("ffspack_signing.log", LOG_FILE);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    ASSERT_EQ("0 ", ffspack("pack --stub pe32.exe --script " + g_sample + " -o plain.exe"));
    const std::string source = ffspack("dump plain.exe");
    for (const char* stub : {"stub32.exe", "pe64.exe", "pe32.exe"}) {
        SCOPED_TRACE(stub);
        std::string pack = std::string("pack --stub ") + stub + " --script " + g_sample;
        ASSERT_EQ("0 ", ffspack(pack + " -o 'a b.exe' --sign-command 'sh sign.sh %1'"));
        EXPECT_EQ(0, system("osslsigncode verify -CAfile cert.pem 'a b.exe' >/dev/null"));
        std::string file = read_file("a b.exe");
        ArchiveLocation found = ffspack_locate(file);
        ASSERT_EQ(ARCHIVE_FOUND, found.state);
        EXPECT_EQ(file.size(), found.end.table + found.end.table_size); // nothing behind it
        EXPECT_EQ(found.end.table, found.end.offset);
        ASSERT_EQ("0 ", ffspack(pack + " -o unsigned.exe"));
        EXPECT_EQ(read_file("unsigned.exe").substr(found.trailer),
                  file.substr(found.trailer, found.end.offset - found.trailer));
        ASSERT_EQ(1, ffs_open("a b.exe"));
        ffs_close();
        EXPECT_NE(std::string::npos,
                  read_file(log).find("Signed: FFS ends at the certificate table (" +
                                      std::to_string(found.end.table_size) + " bytes at " +
                                      std::to_string(found.end.table) +
                                      ")\nFlat/Fast File System Initialized...\n"));
        EXPECT_EQ(source, ffspack("dump 'a b.exe'"));
        EXPECT_EQ("0 ", ffspack("check 'a b.exe' --strict"));
        // Packed anew, the signature goes with the old archive, and the stub is as it was.
        EXPECT_EQ("0 ", ffspack("pack --replace --stub 'a b.exe' --script " + g_sample +
                                " -o again.exe"));
        ArchiveLocation again = ffspack_locate(read_file("again.exe"));
        EXPECT_EQ(0u, again.end.table_size);
        EXPECT_EQ(found.trailer, again.trailer);
        EXPECT_EQ(source, ffspack("dump again.exe"));
    }
    // The last one signed, pe32.exe, with a table past the end of the file.
    std::string damaged = read_file("a b.exe");
    FfsArchiveEnd end = ffspack_locate(damaged).end;
    pe_file_set_security(&damaged, PE_FILE_32, static_cast<uint32_t>(end.table),
                         static_cast<uint32_t>(end.table_size + 8));
    std::ofstream("damaged.exe", std::ios::binary) << damaged;
    std::string line = "1 ffspack: 'damaged.exe' carries a damaged certificate table (" +
                       std::to_string(end.table_size + 8) + " bytes at " +
                       std::to_string(end.table) + ")\n";
    EXPECT_EQ(line, ffspack("dump damaged.exe"));
    EXPECT_EQ(line, ffspack("pack --stub damaged.exe --script " + g_sample + " -o f.exe"));
    log_close();
    const std::string staged = "'f\\.exe\\.\\w{6}\\.exe'";
    const std::string usage = "\n[\\s\\S]*";
    // (the signing command, what ffspack says) and no file is left behind
    std::tuple<const char*, std::string> cases[] = {
        {"sh fail.sh %1", "1 ffspack: the signing command failed on " + staged +
                              " \\(exit code 3\\):\nno token for \\[f\\.exe\\.\\w{6}\\.exe\\]\n"},
        {"no-such-signer %1", "1 ffspack: cannot start the signing command 'no-such-signer': No "
                              "such file or directory\n"},
        {"true %1",
         "1 ffspack: the signing command left no certificate table at the end of 'f\\.exe'\n"},
        {"sh shift.sh %1",
         "1 ffspack: the signing command moved or changed the archive in 'f\\.exe': the program "
         "would not find it before the certificate table\n"},
        {"sh sign.sh",
         "2 ffspack: pack: --sign-command has no %1 where the file's path goes" + usage},
        {"\"sh sign.sh %1",
         "2 ffspack: pack: --sign-command has a double quote that is not closed" + usage}};
    for (const auto& [command, said] : cases) {
        std::string output = ffspack("pack --stub pe32.exe --script " + g_sample +
                                     " -o f.exe --sign-command '" + command + "'");
        EXPECT_TRUE(std::regex_match(output, std::regex(said))) << output;
        EXPECT_NE(0, system("ls f.exe* >/dev/null 2>&1"))
            << command << ": a failure leaves no file";
    }
}

} // namespace
