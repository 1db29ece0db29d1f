#include "support/log_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/log.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string program_path() {
    char buffer[4096];
#ifdef _WIN32
    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
#else
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
#endif
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

} // namespace

std::string log_file_path(const std::string& name) {
    std::string path = program_path();
    return path.substr(0, path.find_last_of("/\\") + 1) + name;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string bytes = text.str();
#ifdef _WIN32
    // The log is a text-mode file: line ends are CR LF on Windows.
    std::string lines;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
            lines += bytes[i];
        }
    }
    return lines;
#else
    return bytes;
#endif
}

std::string open_test_log(const std::string& name, int mode) {
    std::string path = log_file_path(name);
    std::remove(path.c_str());
    log_open(name.c_str(), mode);
    return path;
}
