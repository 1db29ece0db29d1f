// The regdecode program as the test server runs it: body in, fields out.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "registration/registration_samples.h"

namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun regdecode(const std::string& arguments, const std::string& body) {
    std::string path = ::testing::TempDir() + "regdecode_body.bin";
    std::ofstream(path, std::ios::binary) << body;
    std::string command = std::string(REGDECODE_PATH) + " " + arguments + " < " + path + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run = {-1, ""};
    if (!pipe) {
        return run;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        run.output.append(chunk, got);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const std::string g_record = std::string("\x02"
                                         "000v1.50 (Release)\x02"
                                         "001Installer") +
                             "\x02"
                             "203\x02"
                             "209caf\xE9 \"q\"\\\t";

TEST(RegdecodeTool, PrintsOneTagAndValuePerLine) {
    ToolRun run = regdecode("", sent_body(g_record));
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("000 v1.50 (Release)\n001 Installer\n203 \n209 caf\xE9 \"q\"\\\t\n", run.output);
}

TEST(RegdecodeTool, PrintsJson) {
    std::string body = sent_body(g_record);
    ToolRun run = regdecode("--json", body);
    EXPECT_EQ(0, run.status);
    char crc[9];
    memcpy(crc, body.data() + 30, 8);
    crc[8] = '\0';
    EXPECT_EQ(std::string("{\"version\": \"1.50\", \"record_length\": 50, \"encoded_length\": 76, "
                          "\"crc\": \"") +
                  crc +
                  "\", \"fields\": [{\"tag\": \"000\", \"value\": \"v1.50 (Release)\"}, "
                  "{\"tag\": \"001\", \"value\": \"Installer\"}, {\"tag\": \"203\", \"value\": "
                  "\"\"}, {\"tag\": \"209\", \"value\": \"caf\\u00e9 \\\"q\\\"\\\\\\u0009\"}]}\n",
              run.output);
}

TEST(RegdecodeTool, MalformedBodyAndWrongUsage) {
    ToolRun run = regdecode("", "0000000397*D");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("regdecode: body of 12 bytes is shorter than the shortest head (34 bytes)\n",
              run.output);
    run = regdecode("--json", sent_body("abc"));
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("regdecode: record byte 0: a field without its tag\n", run.output);
    run = regdecode("--xml", "");
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("usage: regdecode [--json] [FILE]\n", run.output);
    run = regdecode("/nonexistent/body", "");
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("regdecode: cannot open '/nonexistent/body'\n", run.output);
}

} // namespace
