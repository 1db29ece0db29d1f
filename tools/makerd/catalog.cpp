#include "catalog.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "feed.h"
#include "storage.h"

struct Catalog {
    Database db;
    std::string public_url;
    DatabaseStatement data_version{nullptr, sqlite3_finalize};
    DatabaseStatement schema_count{nullptr, sqlite3_finalize};
    std::mutex mutex; // one connection, one request at a time
    sqlite3_int64 built_version = -1;
    std::shared_ptr<const CatalogSnapshot> snapshot;
};

namespace {

bool catalog_number(Catalog* catalog, sqlite3_stmt* statement, sqlite3_int64* number,
                    std::string* error) {
    bool good = sqlite3_step(statement) == SQLITE_ROW;
    if (good) {
        *number = sqlite3_column_int64(statement, 0);
    } else {
        *error = std::string("the database does not answer: ") + sqlite3_errmsg(catalog->db.get());
    }
    sqlite3_reset(statement);
    return good;
}

bool catalog_build(Catalog* catalog, std::string* error) {
    std::vector<Release> releases;
    if (!storage_releases(catalog->db.get(), &releases, error)) {
        return false;
    }
    std::shared_ptr<CatalogSnapshot> snapshot(new CatalogSnapshot);
    std::vector<std::string> skipped;
    snapshot->feed = feed_build(releases, catalog->public_url, &skipped);
    for (const std::string& reason : skipped) {
        fprintf(stderr, "makerd: left out of the update information: %s\n", reason.c_str());
    }
    for (const Release& release : releases) {
        snapshot->files[release.stored_name] = release.size;
    }
    catalog->snapshot = snapshot;
    return true;
}

} // namespace

Catalog* catalog_open(const std::string& db_path, const std::string& public_url,
                      std::string* error) {
    std::unique_ptr<Catalog> catalog(new Catalog);
    catalog->public_url = public_url;
    if (!database_open(db_path, false, &catalog->db, error)) {
        return nullptr;
    }
    catalog->data_version = storage_prepare_data_version(catalog->db.get(), error);
    catalog->schema_count = storage_prepare_health(catalog->db.get(), error);
    if (!catalog->data_version || !catalog->schema_count) {
        return nullptr;
    }
    return catalog.release();
}

bool catalog_current(Catalog* catalog, std::shared_ptr<const CatalogSnapshot>* snapshot,
                     std::string* error) {
    std::lock_guard<std::mutex> lock(catalog->mutex);
    sqlite3_int64 version = 0;
    if (!catalog_number(catalog, catalog->data_version.get(), &version, error)) {
        return false;
    }
    // The version is taken before the releases are read, so that a commit in
    // between makes the next request build again.
    if (version != catalog->built_version || !catalog->snapshot) {
        if (!catalog_build(catalog, error)) {
            return false;
        }
        catalog->built_version = version;
    }
    *snapshot = catalog->snapshot;
    return true;
}

bool catalog_healthy(Catalog* catalog, std::string* error) {
    std::lock_guard<std::mutex> lock(catalog->mutex);
    sqlite3_int64 count = 0;
    return catalog_number(catalog, catalog->schema_count.get(), &count, error);
}

void catalog_close(Catalog* catalog) {
    delete catalog;
}
