#include "support/bytes_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/log_file.h"

std::string test_file_name(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return test ? std::string(test->test_suite_name()) + "." + test->name() + "." + suffix : suffix;
}

std::string write_bytes_file(const std::string& name, const std::string& bytes) {
    std::string path = log_file_path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}
