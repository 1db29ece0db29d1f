#include "catalog.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "feed.h"
#include "storage.h"

struct Catalog {
    Database db;
    std::string public_url;
    std::mutex mutex; // one connection, one request at a time
    long long built_version = -1;
    std::shared_ptr<const CatalogSnapshot> snapshot;
};

namespace {

bool catalog_build(Catalog* catalog, std::string* error) {
    std::vector<Release> releases;
    if (!catalog->db->releases(&releases, error)) {
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
    if (!storage_open(db_path, false, &catalog->db, error)) {
        return nullptr;
    }
    return catalog.release();
}

bool catalog_current(Catalog* catalog, std::shared_ptr<const CatalogSnapshot>* snapshot,
                     std::string* error) {
    std::lock_guard<std::mutex> lock(catalog->mutex);
    long long version = 0;
    if (!catalog->db->change_mark(&version, error)) {
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
    return catalog->db->healthy(error);
}

void catalog_close(Catalog* catalog) {
    delete catalog;
}
