// Runs install scripts given as bytes through the real loader, keyword table
// and handlers, with the log in a file and message boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/memory.h"
#include "driver/run_mode.h"
#include "fakes/message_fake.h"
#include "script/install_state.h"
#include "script/keyword_table.h"
#include "script/script.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

class ScriptTest : public testing::Test {
  public:
    // The four lines that close a successful run.
    static std::string summary(const std::string& company, const std::string& product, int files,
                               const std::string& path, const std::string& dir) {
        return "Company Name   : " + company + "\nProduct Name   : " + product +
               "\nFile Count     : " + std::to_string(files) + "\nInstall Path   : " + path + " [" +
               dir + "]\n";
    }

  protected:
    void SetUp() override {
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        keyword_table_build();
        message_fake_reset();
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
    }

    void TearDown() override {
        if (state_) {
            script_free(&state_);
        }
        keyword_table_free();
        log_close();
    }

    // Loads `bytes` as the script (the name is a file: no archive is open).
    void load(const std::string& bytes, int run_mode = RUN_UNINSTALL) {
        if (state_) {
            script_free(&state_);
        }
        std::string path = write_bytes_file(test_file_name("dat"), bytes);
        ASSERT_EQ(1, script_load(&state_, path.c_str(), run_mode));
        ASSERT_NE(nullptr, state_);
    }

    int run(const std::string& bytes, int run_mode = RUN_UNINSTALL) {
        load(bytes, run_mode);
        return state_ ? script_run(state_, nullptr) : -1;
    }

    std::string log() { return read_file(log_path_); }

    InstallState* state_ = nullptr;
    std::string log_path_;
};
