#include "support/bytes_file.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/log_file.h"

std::string test_file_name(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    if (!test) {
        return suffix;
    }
    return std::string(test->test_suite_name()) + "." + test->name() + "." + suffix;
}

std::string write_bytes_file(const std::string& name, const std::string& bytes) {
    std::string path = log_file_path(name);
    FILE* file = fopen(path.c_str(), "wb");
    if (file) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return path;
}
