#include "support/log_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

std::string log_file_path(const std::string& name) {
    char buffer[4096];
#ifdef _WIN32
    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
#else
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
#endif
    std::string path(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.find_last_of("/\\") + 1) + name;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
#ifdef _WIN32
    // The log is a text-mode file: line ends are CR LF on Windows.
    for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; ++at) {
        bytes.erase(at, 1);
    }
#endif
    return bytes;
}

std::string open_test_log(const std::string& name, int mode) {
    std::string path = log_file_path(name);
    std::remove(path.c_str());
    log_open(name.c_str(), mode);
    return path;
}

std::string test_file_name(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return test ? std::string(test->test_suite_name()) + "." + test->name() + "." + suffix : suffix;
}

std::string write_bytes_file(const std::string& name, const std::string& bytes) {
    std::string path = log_file_path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}
