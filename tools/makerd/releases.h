// The published releases, as `makerd publish` records them.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

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

// Every release, in the order published.
bool releases_load(sqlite3* db, std::vector<Release>* releases, std::string* error);

// Records `release` (its id is given by the database).
bool releases_add(sqlite3* db, const Release& release, std::string* error);
