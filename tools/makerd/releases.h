// A published release, as `makerd publish` records it (storage.h reads and writes them).
#pragma once

#include <string>

struct Release {
    long long id = 0; // publish order
    std::string company;
    std::string product;
    std::string version;
    std::string page;
    std::string stored_name; // the file's name in the store
    long long size = 0;
    std::string sha256;
    std::string signature; // empty when published without a key
    std::string published; // UTC, ISO 8601
};
