// What the server reads: the update information and the names of the
// published files, kept in memory and built again only when the database has
// changed since (Storage::change_mark, asked on every request, also sees the
// commits of a `makerd publish` in another process, or of another server).
#pragma once

#include <map>
#include <memory>
#include <string>

struct CatalogSnapshot {
    std::string feed;
    std::map<std::string, long long> files; // every release's stored name and size
};

struct Catalog;

// Opens a reading connection to the database; `public_url` ends with '/'.
Catalog* catalog_open(const std::string& db_path, const std::string& public_url,
                      std::string* error);

// The snapshot for the database as it is now.
bool catalog_current(Catalog* catalog, std::shared_ptr<const CatalogSnapshot>* snapshot,
                     std::string* error);

// Whether the database answers a query.
bool catalog_healthy(Catalog* catalog, std::string* error);

void catalog_close(Catalog* catalog);
