// ffspack installer: the NSIS text of the script's values, the build-time
// checks of the script and the files folder, and setup.exe made by makensis.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "installer.h"
#include "nsis.h"
#include "support/log_file.h"
#include "support/pe_file.h"
#include "tools/ffspack_run.h"

namespace fs = std::filesystem;

namespace {

const std::string g_sample = SAMPLES_DIR "/sample-product.txt";
const char* const g_sample_files[] = {
    "readme.txt",        "license.txt",        "help/studio.hlp",
    "help/tutorial.txt", "plugins/shapes.dll", "plugins/colors/palette.dat",
    "samples/gear.wdg",  "samples/spring.wdg", "studio.exe"};

// A fresh folder beside the test program, holding `files` (each with its own name).
std::string make_folder(const std::string& name, const std::vector<std::string>& files) {
    std::string folder = log_file_path(name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const std::string& file : files) {
        fs::create_directories(fs::path(folder + "/" + file).parent_path());
        std::ofstream(folder + "/" + file) << file;
    }
    return folder;
}

TEST(Installer, ValuesBecomeNsisTextThatReadsBackAsWritten) {
    // clang-format off
    const std::string escapes[][3] = {
        {"r", "C:\\dir\\ {x} 'q' `b`", "C:\\dir\\ {x} 'q' `b`"},
        {"r", "a$b $INSTDIR $(lang)", "a$$b $$INSTDIR $$(lang)"},
        {"r", "${NSISDIR}", "$$${U+7B}NSISDIR}"},
        {"r", "say \"hi\"\t\r\n", "say $\\\"hi$\\\"$\\t$\\r$\\n"},
        {"b", "/tmp/a$b/${x}\"", "/tmp/a${U+24}b/${U+24}${U+7B}x}$\\\""}};
    // clang-format on
    for (const auto& row : escapes) {
        EXPECT_EQ(row[2], nsis_escape(row[1], row[0] == "r" ? NSIS_RUN_TIME : NSIS_BUILD_TIME))
            << row[1];
    }
    EXPECT_EQ("\"a$$\"", nsis_quote("a$", NSIS_RUN_TIME));
    // The installer runs where the uninstaller runs: its machine in the PE header.
    std::string pe(0x48, '\0');
    pe.replace(0, 2, "MZ");
    pe[0x3C] = 0x40;
    const std::string machines[][2] = {{std::string("PE\0\0\x64\x86", 6), "amd64-unicode"},
                                       {std::string("PE\0\0\x4C\x01", 6), "x86-unicode"},
                                       {std::string("NE\0\0\x64\x86", 6), "x86-unicode"},
                                       {std::string("PE\0\0\x64", 5), "x86-unicode"}};
    for (const auto& row : machines) {
        EXPECT_EQ(row[1], installer_target(pe.substr(0, 0x40) + row[0])) << row[1];
    }
    EXPECT_EQ("plain \xC3\xA9t\xC3\xA9 \xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF",
              nsis_utf8("plain \xE9t\xE9 \x80\x81\x9F\xFF"));
    // The uninstaller's expansion: the last macro wins, one leading '\' goes.
    const std::string names[][2] = {{"readme.txt", "$INSTDIR\\readme.txt"},
                                    {"\\help\\a.hlp", "$INSTDIR\\help\\a.hlp"},
                                    {"\\\\x", "$INSTDIR\\\\x"},
                                    {"$0Acme\\x.dll", "$PROGRAMFILES\\Acme\\x.dll"},
                                    {"$1x.ini", "$WINDIR\\x.ini"},
                                    {"$2widgets.ocx", "$SYSDIR\\widgets.ocx"},
                                    {"$1$2x.dll", "$SYSDIR\\x.dll"},
                                    {"$2$?x.dll", "$SYSDIR\\x.dll"},
                                    {"$?x.dll", "$INSTDIR\\x.dll"},
                                    {"$9x.dll", "$INSTDIR\\x.dll"},
                                    {"$4$0x", "$PROGRAMFILES\\x"},
                                    {"$", "$INSTDIR"},
                                    {"a$b\xE9.txt", "$INSTDIR\\a$$b\xC3\xA9.txt"},
                                    {"$4x.tmp", "no folder: $4"},
                                    {"$2$5x", "no folder: $5"},
                                    {"$3", "no folder: $3"}};
    for (const auto& row : names) {
        NsisName name = nsis_name(row[0], "$INSTDIR");
        EXPECT_EQ(row[1],
                  name.folder.empty() ? std::string("no folder: $") + name.macro : nsis_path(name))
            << row[0];
    }
    // Read as the program reads a version: 1.10 is older than 1.9.
    const std::string versions[][2] = {{"2.4", "2.4"},   {"1.10", "1.1"}, {"02.50x", "2.5"},
                                       {"1.2.3", "1.2"}, {"v2", "."},     {"10", "10."},
                                       {"0.0", "."},     {"3.07", "3.07"}};
    for (const auto& row : versions) {
        NsisVersion version = nsis_version(row[0]);
        EXPECT_EQ(row[1], version.whole + "." + version.fraction) << row[0];
    }
}

TEST(Installer, TheBuildFailsForWhatNoInstallerCanPlace) {
    const std::string base = "COMPANY NAME:Acme\nPRODUCT NAME:Tool\nREGISTRY PATH:Software\\Acme\n"
                             "INSTALL DIR:Acme\\Tool\nUNINSTALL NAME:uninstall.exe\n";
    const std::string files = log_file_path("installer_files");
    const std::string out = "' is absolute or holds '..': it lies outside the files folder\n";
    struct {
        std::string script;
        std::vector<std::string> files;
        std::string messages;
    } rows[] = {
        {base + "FILE LIST:a.txt,sub\\b.txt,$0Shared\\c.dll,\nINSTALL NAME:app.exe\n",
         {"a.txt", "sub/b.txt", "Shared/c.dll", "app.exe"},
         ""},
        {base + "FILE LIST:a.txt,sub\\b.txt\nAGREEMENT:eula.txt\nINSTALL NAME:app.exe\n",
         {"a.txt"},
         files + "/sub/b.txt: no such file, but FILE LIST names it (s:6)\n" + files +
             "/app.exe: no such file, but INSTALL NAME names it (s:8)\n" + files +
             "/eula.txt: no such file, but AGREEMENT names it (s:7)\n"},
        {base + "FILE LIST:..\\x,C:\\y,$0\\\\z,a?b,$3c,$4d,$5e\n",
         {},
         "s:6: the name '..\\x" + out + "s:6: the name 'C:\\y" + out + "s:6: the name '$0\\\\z" +
             out +
             "s:6: the name 'a?b' holds '?', which no Windows file name may: no installer can "
             "place it\n"
             "s:6: the name '$3c' is behind $3 (the running program's folder): no installer can "
             "place a file there\n"
             "s:6: the name '$4d' is behind $4 (the temporary folder): no installer can place a "
             "file there\n"
             "s:6: the name '$5e' is behind $5 (the current folder): no installer can place a "
             "file there\n"},
        {base + "FILE LIST:a.txt\n",
         {"a.txt", "extra.txt", "uninstall.exe"},
         "warning " + files + "/uninstall.exe: the packed uninstaller replaces it\nwarning " +
             files +
             "/extra.txt: the script does not list it: not installed, as it would stay behind "
             "after an uninstall\n"},
        {base + "OLE:REGISTER\tcomp.dll\nOLE:REGISTER\t$2shared.ocx\nOLE:x\t$?UNINSTALL.EXE\n"
                "CREATE GROUP:G\nADD ITEM:1\t$4x.exe\t\tX\nEXECUTE:$5run.exe\n",
         {},
         "s:6: the component 'comp.dll' lies in the product's folder, but FILE LIST and INSTALL "
         "NAME do not name it: setup.exe has no file to register\n"
         "s:10: the name '$4x.exe' is behind $4 (the temporary folder): no installer can place a "
         "file there\n"
         "s:11: the name '$5run.exe' is behind $5 (the current folder): no installer can place a "
         "file there\n"},
        {"GRADIENT START:0\t0\nGRADIENT END:0\t0\t256\nFONT:Arial\tbig\n",
         {},
         "s: no INSTALL DIR: setup.exe would install into Program Files itself\n"
         "s: no UNINSTALL NAME: setup.exe has no name to give the uninstaller\n"
         "s:1: GRADIENT START needs three numbers from 0 to 255: red, green and blue\n"
         "s:2: GRADIENT END needs three numbers from 0 to 255: red, green and blue\n"
         "s:3: FONT needs a font's name and its size, a number\n"},
    };
    for (const auto& row : rows) {
        InstallerInput input{"s", {}, {}, make_folder("installer_files", row.files), "u.exe", 0};
        for (const std::string& line : ffspack_split(row.script, '\n')) {
            if (!line.empty()) {
                input.commands.push_back(line);
                input.lines.push_back(static_cast<int>(input.commands.size()));
            }
        }
        InstallerPlan plan;
        std::vector<std::string> errors, warnings;
        installer_plan(input, &plan, &errors, &warnings);
        std::string messages;
        for (const std::string& warning : warnings) {
            messages += "warning " + warning + "\n";
        }
        for (const std::string& error : errors) {
            messages += error + "\n";
        }
        EXPECT_EQ(row.messages, messages) << row.script;
    }
}

TEST(Installer, MakensisMakesTheSampleAndAMakersOwnScript) {
    std::string dir = make_folder("installer_work", {});
    ASSERT_EQ(0, chdir(dir.c_str()));
    std::string files =
        make_folder("installer_work/files", {std::begin(g_sample_files), std::end(g_sample_files)});
    std::ofstream("stub.exe", std::ios::binary) << "MZ stub";
    const std::string made = "installer --script " + g_sample + " --files files --stub stub.exe ";
    EXPECT_EQ("0 ", ffspack(made + "-o setup.exe"));
    EXPECT_EQ("MZ", read_file("setup.exe").substr(0, 2));
    // Kept: the main script, the product's macros and the packed uninstaller.
    fs::create_directory("kept");
    EXPECT_EQ("0 ", ffspack(made + "-o kept.exe --nsi kept/studio.nsi"));
    std::string include = read_file("kept/studio.product.nsh");
    std::string main = read_file("kept/studio.nsi");
    EXPECT_EQ("MZ stub", read_file("kept/studio.uninstall.exe").substr(0, 7));
    // clang-format off
    const std::string expected[] = {
        "\xEF\xBB\xBF; Acme Widgets Widget Studio 2.4: the product's part",
        "InstallDir \"$PROGRAMFILES\\Acme Widgets\\Widget Studio\"\n  InstallDirRegKey HKCU \"Software\\Acme Widgets\\Widget Studio\" \"Install Path\"\n",
        "BGGradient 000080 000000\n  BGFont \"Arial\" 24\n",
        "SetOutPath \"$INSTDIR\\plugins\\colors\"\n  ClearErrors\n  File \"/oname=palette.dat\" \"" + files + "/plugins/colors/palette.dat\"\n"
            "  ${If} ${Errors}\n    Push \"Unable to write file '$INSTDIR\\plugins\\colors\\palette.dat'\"\n    Push 3\n",
        "WriteRegStr HKLM \"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Widgets Widget Studio\" \"QuietUninstallString\" \"$\\\"$INSTDIR\\uninstall.exe$\\\" -Quiet\"\n",
        "\"EstimatedSize\" 1536\n",
        "RegDLL \"$SYSDIR\\widgets.ocx\"\n  ${If} ${Errors}\n    Push \"Unable to register component '$SYSDIR\\widgets.ocx'\"\n    Push 6\n",
        "CreateShortCut \"$SMPROGRAMS\\Acme Widgets Widget Studio\\Register Widget Studio.lnk\" \"$INSTDIR\\uninstall.exe\" \"-Register\"\n",
        "Push \"Unable to create shortcut '$SMPROGRAMS\\Acme Widgets Widget Studio\\Register Widget Studio.lnk'\"\n    Push 5\n",
        "Push \"Newer version $ffspack_Installed is installed; 2.4 was not installed\"\n        Push 7\n",
        "System::Call \"shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)\"\n",
        "Exec \"$\\\"$INSTDIR\\uninstall.exe$\\\" -InstReg\"\n",
        "\"UninstallString\"\n  StrCpy $1 $0 1\n  ${If} $1 == \"$\\\"\"\n", // a quoted path loses its quotes
        "ExecShell \"open\" \"$PROGRAMFILES\\Acme Widgets\\Widget Studio\\readme.txt\" \"\"\n",
        "FileOpen $2 \"$TEMP\\Acme Widgets Widget Studio Setup.log\" a\n",
        "main: !include \"" + dir + "/kept/studio.product.nsh\"\n",
        "main: !insertmacro MUI_PAGE_LICENSE \"" + files + "/license.txt\"\n!insertmacro MUI_PAGE_DIRECTORY\n",
        "main: OutFile \"" + dir + "/kept.exe\"\n",
        "main: Unicode true\nTarget x86-unicode\n"};
    // clang-format on
    for (const std::string& text : expected) {
        bool in_main = text.compare(0, 6, "main: ") == 0;
        EXPECT_NE(std::string::npos, (in_main ? main : include).find(text.substr(in_main ? 6 : 0)))
            << text;
    }
    // The guide's example of a maker's own script, on the kept include.
    std::string guide = read_file(GUIDE_PATH);
    size_t start = guide.find("```nsis\n") + 8;
    std::ofstream("kept/own.nsi") << guide.substr(start, guide.find("```", start) - start);
    EXPECT_EQ(0, system("makensis -V1 kept/own.nsi"));
    EXPECT_EQ("MZ", read_file("kept/own-setup.exe").substr(0, 2));

    std::vector<std::string> extra(std::begin(g_sample_files), std::end(g_sample_files));
    extra.push_back("extra.txt");
    make_folder("installer_work/extra", extra);
    // clang-format off
    const std::string failures[][2] = {
        {made + "-o bad.exe --makensis /bin/false", "1 ffspack: makensis failed (exit 1)\n"},
        {made + "-o bad.exe --makensis /no/makensis", "1 ffspack: cannot run '/no/makensis': No such file or directory\n"},
        {"installer --script " + g_sample + " --files extra --stub stub.exe -o bad.exe --strict", "1 ffspack: warning: extra/extra.txt: the script does not list it: not installed, as it would stay behind after an uninstall\nffspack: extra: 1 warning with --strict\n"},
        {made + "-o bad.exe --nsi no/x.nsi", "1 ffspack: cannot write 'no/x.uninstall.exe': No such file or directory\n"},
        {"installer --script " + g_sample + " --files nothing --stub stub.exe -o bad.exe", "1 ffspack: nothing/readme.txt: no such file, but FILE LIST names it (" + g_sample + ":29)\n"},
        {"installer --files files -o bad.exe", "2 ffspack: --script is missing\nUsage:\n  ffspack installer "}};
    // clang-format on
    for (const auto& row : failures) {
        EXPECT_EQ(row[1], ffspack(row[0]).substr(0, row[1].size())) << row[0];
    }
    // Signed: the packed uninstaller before it goes in, then setup.exe itself.
    ASSERT_EQ(0, system("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
                        "-subj /CN=Test -days 2 2>/dev/null"));
    std::ofstream("sign.sh") << "osslsigncode sign -certs cert.pem -key key.pem -h sha256 "
                                "-in \"$1\" -out \"$1.s\" >/dev/null && mv -f \"$1.s\" \"$1\"\n";
    std::ofstream("pe.exe", std::ios::binary) << pe_file_image(PE_FILE_32, 1024);
    const std::string signing = "installer --script " + g_sample +
                                " --files files --stub pe.exe --sign-command 'sh sign.sh %1' ";
    EXPECT_EQ("0 ", ffspack(signing + "-o signed.exe --nsi kept/s.nsi"));
    for (const char* file : {"signed.exe", "kept/s.uninstall.exe"}) {
        EXPECT_EQ(
            0, system(("osslsigncode verify -CAfile cert.pem " + std::string(file) + " >/dev/null")
                          .c_str()))
            << file;
    }
    const std::string failed = "1 ffspack: the signing command failed on '";
    EXPECT_EQ(failed,
              ffspack(made + "-o bad.exe --sign-command 'false %1'").substr(0, failed.size()));
    for (const auto& entry : fs::directory_iterator(".")) {
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find("bad.exe"))
            << entry.path() << ": a failure leaves no file";
    }
}

} // namespace
