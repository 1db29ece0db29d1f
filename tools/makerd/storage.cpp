#include "storage.h"

#include <memory>

namespace {

// Version 1: what makerd made before it numbered its schema, hence IF NOT EXISTS.
const char g_schema_1[] = "CREATE TABLE IF NOT EXISTS registrations ("
                          " id INTEGER PRIMARY KEY,"
                          " received TEXT NOT NULL,"
                          " peer TEXT NOT NULL,"
                          " version TEXT NOT NULL,"
                          " body_sha256 TEXT NOT NULL UNIQUE);"
                          "CREATE TABLE IF NOT EXISTS fields ("
                          " registration_id INTEGER NOT NULL REFERENCES registrations(id),"
                          " position INTEGER NOT NULL,"
                          " tag INTEGER NOT NULL,"
                          " value TEXT NOT NULL,"
                          " PRIMARY KEY (registration_id, position)) WITHOUT ROWID;"
                          "CREATE INDEX IF NOT EXISTS fields_by_tag ON fields(tag, value);"
                          "CREATE TABLE IF NOT EXISTS releases ("
                          " id INTEGER PRIMARY KEY,"
                          " company TEXT NOT NULL,"
                          " product TEXT NOT NULL,"
                          " version TEXT NOT NULL,"
                          " page TEXT NOT NULL,"
                          " stored_name TEXT NOT NULL UNIQUE,"
                          " size INTEGER NOT NULL,"
                          " sha256 TEXT NOT NULL,"
                          " signature TEXT NOT NULL,"
                          " published TEXT NOT NULL);";

const char g_schema_2[] = "CREATE TABLE accounts ("
                          " name TEXT PRIMARY KEY,"
                          " password_hash TEXT NOT NULL,"
                          " created TEXT NOT NULL) WITHOUT ROWID;"
                          "CREATE TABLE tallies ("
                          " kind TEXT NOT NULL,"
                          " day TEXT NOT NULL,"
                          " a TEXT NOT NULL,"
                          " b TEXT NOT NULL,"
                          " c TEXT NOT NULL,"
                          " count INTEGER NOT NULL,"
                          " PRIMARY KEY (kind, day, a, b, c)) WITHOUT ROWID;";

bool storage_failed(sqlite3* db, const std::string& what, std::string* error) {
    *error = what + ": " + sqlite3_errmsg(db);
    return false;
}

bool storage_step(sqlite3_stmt* statement) {
    int status = sqlite3_step(statement);
    sqlite3_reset(statement);
    return status == SQLITE_DONE;
}

// The tallies of every registration stored before version 2.
bool storage_tally_stored(sqlite3* db, std::string* error) {
    StorageWriter writer;
    Tallies tallies;
    return storage_writer_prepare(db, &writer, error) &&
           storage_walk(
               db,
               [&](const Registration& registration) {
                   storage_tally(registration, &tallies);
                   return true;
               },
               error) &&
           (storage_add_tallies(&writer, tallies) ||
            storage_failed(db, "cannot count the stored registrations", error));
}

// One transaction, so that two processes opening an old database at once
// upgrade it once, and a failed step leaves it as it was.
bool storage_upgrade(sqlite3* db, std::string* error) {
    if (!database_run(db, "BEGIN IMMEDIATE", error)) {
        return false;
    }
    DatabaseStatement read = database_prepare(db, "PRAGMA user_version", error);
    int version =
        read && sqlite3_step(read.get()) == SQLITE_ROW ? sqlite3_column_int(read.get(), 0) : -1;
    read.reset();
    bool good = version >= 0 || storage_failed(db, "cannot read the schema version", error);
    if (good && version > STORAGE_SCHEMA_VERSION) {
        *error = "the database has schema version " + std::to_string(version) +
                 ", newer than this makerd knows (" + std::to_string(STORAGE_SCHEMA_VERSION) + ")";
        good = false;
    }
    good =
        good && (version >= 1 || database_run(db, g_schema_1, error)) &&
        (version >= 2 ||
         (database_run(db, g_schema_2, error) && storage_tally_stored(db, error))) &&
        (version == STORAGE_SCHEMA_VERSION ||
         database_run(db, ("PRAGMA user_version=" + std::to_string(STORAGE_SCHEMA_VERSION)).c_str(),
                      error)) &&
        database_run(db, "COMMIT", error);
    if (!good) {
        database_rollback(db);
    }
    return good;
}

void storage_read_registration(sqlite3_stmt* row, Registration* registration) {
    registration->id = sqlite3_column_int64(row, 0);
    registration->received = database_column_text(row, 1);
    registration->peer = database_column_text(row, 2);
    registration->version = database_column_text(row, 3);
    registration->fields.clear();
}

bool storage_read_fields(sqlite3* db, Registration* registration, std::string* error) {
    DatabaseStatement select = database_prepare(
        db, "SELECT tag, value FROM fields WHERE registration_id = ? ORDER BY position", error);
    if (!select) {
        return false;
    }
    sqlite3_bind_int64(select.get(), 1, registration->id);
    int status;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
        registration->fields.emplace_back(sqlite3_column_int(select.get(), 0),
                                          database_column_text(select.get(), 1));
    }
    return status == SQLITE_DONE || storage_failed(db, "cannot read a registration", error);
}

// LIKE's pattern for "holds `text`", its wildcards taken as themselves.
std::string storage_like_pattern(const std::string& text) {
    std::string pattern = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "%";
}

} // namespace

std::string storage_field(const Registration& registration, int tag, bool* present) {
    std::string value;
    bool seen = false;
    for (const auto& field : registration.fields) {
        if (field.first == tag) {
            value += (seen ? "\n" : "") + field.second;
            seen = true;
        }
    }
    if (present) {
        *present = seen;
    }
    return value;
}

void storage_tally(const Registration& registration, Tallies* tallies) {
    auto field = [&](int tag) { return storage_field(registration, tag); };
    ++(*tallies)[{"registered", registration.received.substr(0, 10), "", "", ""}];
    ++(*tallies)[{"product", "", field(101), field(102), field(103)}];
    ++(*tallies)[{"windows", "", field(310), "", ""}];
    ++(*tallies)[{"processor", "", field(302), "", ""}];
    ++(*tallies)[{"mailing", "", field(400), "", ""}];
}

bool storage_open(const std::string& path, bool create, Database* db, std::string* error) {
    return database_open(path, create, db, error) && (!create || storage_upgrade(db->get(), error));
}

bool storage_writer_prepare(sqlite3* db, StorageWriter* writer, std::string* error) {
    writer->db = db;
    writer->begin = database_prepare(db, "BEGIN IMMEDIATE", error);
    writer->commit = database_prepare(db, "COMMIT", error);
    writer->insert_registration = database_prepare(
        db,
        "INSERT INTO registrations (received, peer, version, body_sha256) VALUES (?, ?, ?, ?)"
        " ON CONFLICT (body_sha256) DO NOTHING",
        error);
    writer->insert_field = database_prepare(
        db, "INSERT INTO fields (registration_id, position, tag, value) VALUES (?, ?, ?, ?)",
        error);
    writer->add_tally = database_prepare(
        db,
        "INSERT INTO tallies (kind, day, a, b, c, count) VALUES (?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (kind, day, a, b, c) DO UPDATE SET count = count + excluded.count",
        error);
    return writer->begin && writer->commit && writer->insert_registration && writer->insert_field &&
           writer->add_tally;
}

bool storage_begin(StorageWriter* writer) {
    return storage_step(writer->begin.get());
}

bool storage_commit(StorageWriter* writer) {
    return storage_step(writer->commit.get());
}

StorageInsert storage_insert(StorageWriter* writer, const Registration& registration) {
    sqlite3_stmt* insert = writer->insert_registration.get();
    database_bind_text(insert, 1, registration.received);
    database_bind_text(insert, 2, registration.peer);
    database_bind_text(insert, 3, registration.version);
    database_bind_text(insert, 4, registration.body_sha256);
    if (!storage_step(insert)) {
        return STORAGE_FAILED;
    }
    if (sqlite3_changes(writer->db) == 0) {
        return STORAGE_DUPLICATE;
    }
    sqlite3_int64 id = sqlite3_last_insert_rowid(writer->db);
    sqlite3_stmt* field = writer->insert_field.get();
    for (size_t i = 0; i < registration.fields.size(); ++i) {
        sqlite3_bind_int64(field, 1, id);
        sqlite3_bind_int64(field, 2, static_cast<sqlite3_int64>(i));
        sqlite3_bind_int(field, 3, registration.fields[i].first);
        database_bind_text(field, 4, registration.fields[i].second);
        if (!storage_step(field)) {
            return STORAGE_FAILED;
        }
    }
    return STORAGE_STORED;
}

bool storage_add_tallies(StorageWriter* writer, const Tallies& tallies) {
    sqlite3_stmt* add = writer->add_tally.get();
    for (const auto& [key, count] : tallies) {
        database_bind_text(add, 1, key.kind);
        database_bind_text(add, 2, key.day);
        database_bind_text(add, 3, key.a);
        database_bind_text(add, 4, key.b);
        database_bind_text(add, 5, key.c);
        sqlite3_bind_int64(add, 6, count);
        if (!storage_step(add)) {
            return false;
        }
    }
    return true;
}

bool storage_read_begin(sqlite3* db, std::string* error) {
    return database_run(db, "BEGIN", error);
}

void storage_read_end(sqlite3* db) {
    database_rollback(db);
}

bool storage_tags(sqlite3* db, std::vector<int>* tags, std::string* error) {
    DatabaseStatement select =
        database_prepare(db, "SELECT DISTINCT tag FROM fields ORDER BY tag", error);
    if (!select) {
        return false;
    }
    int status;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
        tags->push_back(sqlite3_column_int(select.get(), 0));
    }
    return status == SQLITE_DONE || storage_failed(db, "cannot read the field tags", error);
}

// Walks the registrations and their fields side by side, both in id order.
bool storage_walk(sqlite3* db, const std::function<bool(const Registration&)>& visit,
                  std::string* error) {
    DatabaseStatement rows = database_prepare(
        db, "SELECT id, received, peer, version FROM registrations ORDER BY id", error);
    DatabaseStatement fields = database_prepare(
        db, "SELECT registration_id, tag, value FROM fields ORDER BY registration_id, position",
        error);
    if (!rows || !fields) {
        return false;
    }
    bool field_ready = sqlite3_step(fields.get()) == SQLITE_ROW;
    Registration registration;
    int status;
    while ((status = sqlite3_step(rows.get())) == SQLITE_ROW) {
        storage_read_registration(rows.get(), &registration);
        for (; field_ready && sqlite3_column_int64(fields.get(), 0) <= registration.id;
             field_ready = sqlite3_step(fields.get()) == SQLITE_ROW) {
            if (sqlite3_column_int64(fields.get(), 0) == registration.id) {
                registration.fields.emplace_back(sqlite3_column_int(fields.get(), 1),
                                                 database_column_text(fields.get(), 2));
            }
        }
        if (!visit(registration)) {
            return true;
        }
    }
    return status == SQLITE_DONE || storage_failed(db, "cannot read the registrations", error);
}

bool storage_search(sqlite3* db, const std::string& search, long long offset, int limit,
                    std::vector<Registration>* found, std::string* error) {
    DatabaseStatement select =
        database_prepare(db,
                         "SELECT id, received, peer, version FROM registrations r WHERE ?1 = ''"
                         " OR received LIKE ?2 ESCAPE '\\' OR peer LIKE ?2 ESCAPE '\\'"
                         " OR version LIKE ?2 ESCAPE '\\' OR EXISTS (SELECT 1 FROM fields"
                         " WHERE registration_id = r.id AND value LIKE ?2 ESCAPE '\\')"
                         " ORDER BY id DESC LIMIT ?3 OFFSET ?4",
                         error);
    if (!select) {
        return false;
    }
    database_bind_text(select.get(), 1, search);
    database_bind_text(select.get(), 2, storage_like_pattern(search));
    sqlite3_bind_int(select.get(), 3, limit);
    sqlite3_bind_int64(select.get(), 4, offset);
    int status;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
        found->emplace_back();
        storage_read_registration(select.get(), &found->back());
    }
    if (status != SQLITE_DONE) {
        return storage_failed(db, "cannot search the registrations", error);
    }
    for (Registration& registration : *found) {
        if (!storage_read_fields(db, &registration, error)) {
            return false;
        }
    }
    return true;
}

bool storage_registration(sqlite3* db, long long id, Registration* registration, bool* found,
                          std::string* error) {
    DatabaseStatement select = database_prepare(
        db, "SELECT id, received, peer, version FROM registrations WHERE id = ?", error);
    if (!select) {
        return false;
    }
    sqlite3_bind_int64(select.get(), 1, id);
    int status = sqlite3_step(select.get());
    *found = status == SQLITE_ROW;
    if (!*found) {
        return status == SQLITE_DONE || storage_failed(db, "cannot read a registration", error);
    }
    storage_read_registration(select.get(), registration);
    return storage_read_fields(db, registration, error);
}

bool storage_tallies(sqlite3* db, Tallies* tallies, std::string* error) {
    DatabaseStatement select =
        database_prepare(db, "SELECT kind, day, a, b, c, count FROM tallies", error);
    if (!select) {
        return false;
    }
    sqlite3_stmt* row = select.get();
    int status;
    while ((status = sqlite3_step(row)) == SQLITE_ROW) {
        (*tallies)[{database_column_text(row, 0), database_column_text(row, 1),
                    database_column_text(row, 2), database_column_text(row, 3),
                    database_column_text(row, 4)}] += sqlite3_column_int64(row, 5);
    }
    return status == SQLITE_DONE || storage_failed(db, "cannot read the counts", error);
}

bool storage_account_add(sqlite3* db, const Account& account, bool* added, std::string* error) {
    DatabaseStatement insert =
        database_prepare(db,
                         "INSERT INTO accounts (name, password_hash, created) VALUES (?, ?, ?)"
                         " ON CONFLICT (name) DO NOTHING",
                         error);
    if (!insert) {
        return false;
    }
    database_bind_text(insert.get(), 1, account.name);
    database_bind_text(insert.get(), 2, account.password_hash);
    database_bind_text(insert.get(), 3, account.created);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        return storage_failed(db, "cannot add the account", error);
    }
    *added = sqlite3_changes(db) == 1;
    return true;
}

bool storage_account_remove(sqlite3* db, const std::string& name, bool* removed,
                            std::string* error) {
    DatabaseStatement remove = database_prepare(db, "DELETE FROM accounts WHERE name = ?", error);
    if (!remove) {
        return false;
    }
    database_bind_text(remove.get(), 1, name);
    if (sqlite3_step(remove.get()) != SQLITE_DONE) {
        return storage_failed(db, "cannot remove the account", error);
    }
    *removed = sqlite3_changes(db) == 1;
    return true;
}

bool storage_accounts(sqlite3* db, std::vector<Account>* accounts, std::string* error) {
    DatabaseStatement select = database_prepare(
        db, "SELECT name, password_hash, created FROM accounts ORDER BY name", error);
    if (!select) {
        return false;
    }
    int status;
    while ((status = sqlite3_step(select.get())) == SQLITE_ROW) {
        accounts->push_back({database_column_text(select.get(), 0),
                             database_column_text(select.get(), 1),
                             database_column_text(select.get(), 2)});
    }
    return status == SQLITE_DONE || storage_failed(db, "cannot read the accounts", error);
}

bool storage_releases(sqlite3* db, std::vector<Release>* releases, std::string* error) {
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
    return status == SQLITE_DONE || storage_failed(db, "cannot read the releases", error);
}

bool storage_release_add(sqlite3* db, const Release& release, std::string* error) {
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
    return sqlite3_step(row) == SQLITE_DONE ||
           storage_failed(db, "cannot record the release", error);
}

DatabaseStatement storage_prepare_data_version(sqlite3* db, std::string* error) {
    return database_prepare(db, "PRAGMA data_version", error);
}

DatabaseStatement storage_prepare_health(sqlite3* db, std::string* error) {
    return database_prepare(db, "SELECT count(*) FROM sqlite_schema", error);
}
