#include "store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool store_prepare(const std::string& dir, std::string* error) {
    struct stat status;
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot make the store '" + dir + "': " + strerror(errno);
        return false;
    }
    if (stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        *error = "the store '" + dir + "' is not a folder";
        return false;
    }
    return true;
}

bool store_name_safe(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find_first_of("/\\") == std::string::npos &&
           name.find("..") == std::string::npos;
}

std::string store_path(const std::string& dir, const std::string& name) {
    return dir + "/" + name;
}
