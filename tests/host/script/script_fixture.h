// Install scripts through the real loader, keyword table and handlers; log in a file, boxes
// recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/memory.h"
#include "driver/run_mode.h"
#include "fakes/message_fake.h"
#include "script/keyword_table.h"
#include "script/script.h"
#include "support/log_file.h"

// Script bytes written readably: '~' is the command mark, '|' a CR LF.
inline std::string S(std::string text) {
    for (size_t at = 0; (at = text.find_first_of("~|", at)) != std::string::npos; ++at) {
        text.replace(at, 1, text[at] == '~' ? "\x16" : "\r\n");
    }
    return text;
}

// The four lines that close a successful run.
inline std::string summary(const std::string& company, const std::string& product, int files,
                           const std::string& path, const std::string& dir) {
    return "Company Name   : " + company + "\nProduct Name   : " + product +
           "\nFile Count     : " + std::to_string(files) + "\nInstall Path   : " + path + " [" +
           dir + "]\n";
}

class ScriptTest : public testing::Test {
  protected:
    void SetUp() override {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        EXPECT_EQ(1, keyword_table_build());
        message_fake_reset();
    }
    void TearDown() override {
        if (state_) {
            EXPECT_EQ(1, script_free(&state_));
        }
        EXPECT_EQ(1, keyword_table_free());
        log_close();
    }

    // Loads `bytes` as the script and runs it, this test as the owner window.
    int run(const std::string& bytes, int run_mode = RUN_UNINSTALL, int uninstaller_waits = 0) {
        if (state_) {
            script_free(&state_);
        }
        std::string path = write_bytes_file(test_file_name("dat"), bytes);
        EXPECT_EQ(1, script_load(&state_, path.c_str(), run_mode));
        if (state_) {
            state_->uninstaller_waits = uninstaller_waits;
        }
        return state_ ? script_run(state_, this) : -1;
    }

    // What the log gained, and the boxes shown ("kind[caption]: text" lines),
    // since the last call.
    std::string log() {
        std::string all = read_file(log_path_);
        std::string added = all.substr(seen_);
        seen_ = all.size();
        return added;
    }
    static std::string boxes() {
        std::string shown;
        for (const MessageCall& box : message_fake_calls()) {
            shown += box.kind + (box.has_caption ? "[" + box.caption + "]" : "") + ": " + box.text +
                     "\n";
        }
        message_fake_calls().clear();
        return shown;
    }

    InstallState* state_ = nullptr;
    std::string log_path_;
    size_t seen_ = 0;
};
