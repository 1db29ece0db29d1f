#include "releases.h"

#include "database.h"

bool releases_load(sqlite3* db, std::vector<Release>* releases, std::string* error) {
    DatabaseStatement select = database_prepare(
        db,
        "SELECT id, company, product, version, page, stored_name, size, sha256, signature,"
        " published FROM releases ORDER BY id",
        error);
    if (!select) {
        return false;
    }
    releases->clear();
    int status;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = select.get();
        Release release;
        release.id = sqlite3_column_int64(row, 0);
        release.company = database_column_text(row, 1);
        release.product = database_column_text(row, 2);
        release.version = database_column_text(row, 3);
        release.page = database_column_text(row, 4);
        release.stored_name = database_column_text(row, 5);
        release.size = sqlite3_column_int64(row, 6);
        release.sha256 = database_column_text(row, 7);
        release.signature = database_column_text(row, 8);
        release.published = database_column_text(row, 9);
        releases->push_back(release);
    }
    if (status != SQLITE_DONE) {
        *error = std::string("cannot read the releases: ") + sqlite3_errmsg(db);
        return false;
    }
    return true;
}

bool releases_add(sqlite3* db, const Release& release, std::string* error) {
    DatabaseStatement insert = database_prepare(
        db,
        "INSERT INTO releases (company, product, version, page, stored_name, size, sha256,"
        " signature, published) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
        error);
    if (!insert) {
        return false;
    }
    sqlite3_stmt* row = insert.get();
    database_bind_text(row, 1, release.company);
    database_bind_text(row, 2, release.product);
    database_bind_text(row, 3, release.version);
    database_bind_text(row, 4, release.page);
    database_bind_text(row, 5, release.stored_name);
    sqlite3_bind_int64(row, 6, release.size);
    database_bind_text(row, 7, release.sha256);
    database_bind_text(row, 8, release.signature);
    database_bind_text(row, 9, release.published);
    if (sqlite3_step(row) != SQLITE_DONE) {
        *error = std::string("cannot record the release: ") + sqlite3_errmsg(db);
        return false;
    }
    return true;
}
