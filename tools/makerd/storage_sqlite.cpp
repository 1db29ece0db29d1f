#include <memory>

#include "database.h"
#include "storage.h"

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

class SqliteStorage : public Storage {
  public:
    SqliteDatabase owner;
    sqlite3* db = nullptr;
    // The writer's statements, prepared at its first transaction: a reading
    // connection may open a database whose tables are older.
    DatabaseStatement begin_statement{nullptr, sqlite3_finalize};
    DatabaseStatement commit_statement{nullptr, sqlite3_finalize};
    DatabaseStatement insert_registration{nullptr, sqlite3_finalize};
    DatabaseStatement insert_field{nullptr, sqlite3_finalize};
    DatabaseStatement add_tally{nullptr, sqlite3_finalize};
    DatabaseStatement data_version{nullptr, sqlite3_finalize};
    DatabaseStatement schema_count{nullptr, sqlite3_finalize};

    std::string failure() override { return sqlite3_errmsg(db); }
    bool begin() override;
    bool commit() override { return storage_step(commit_statement.get()); }
    void rollback() override { database_rollback(db); }
    StorageInsert insert(const Registration& registration) override;
    bool add_tallies(const Tallies& tallies) override;
    bool read_begin(std::string* error) override;
    void read_end() override;
    bool tags(std::vector<int>* tags, std::string* error) override;
    bool walk(const std::function<bool(const Registration&)>& visit, std::string* error) override;
    bool search(const std::string& search, long long offset, int limit,
                std::vector<Registration>* found, std::string* error) override;
    bool registration(long long id, Registration* registration, bool* found,
                      std::string* error) override;
    bool tallies(Tallies* tallies, std::string* error) override;
    bool account_add(const Account& account, bool* added, std::string* error) override;
    bool account_remove(const std::string& name, bool* removed, std::string* error) override;
    bool accounts(std::vector<Account>* accounts, std::string* error) override;
    bool releases(std::vector<Release>* releases, std::string* error) override;
    bool release_add(const Release& release, std::string* error) override;
    bool change_mark(long long* mark, std::string* error) override;
    bool healthy(std::string* error) override;

    bool prepare_writer(std::string* error);
    bool tally_stored(std::string* error);
    bool upgrade(std::string* error);
    bool number(sqlite3_stmt* statement, long long* number, std::string* error);
};

} // namespace

bool SqliteStorage::prepare_writer(std::string* error) {
    if (begin_statement) {
        return true;
    }
    commit_statement = database_prepare(db, "COMMIT", error);
    insert_registration = database_prepare(
        db,
        "INSERT INTO registrations (received, peer, version, body_sha256) VALUES (?, ?, ?, ?)"
        " ON CONFLICT (body_sha256) DO NOTHING",
        error);
    insert_field = database_prepare(
        db, "INSERT INTO fields (registration_id, position, tag, value) VALUES (?, ?, ?, ?)",
        error);
    add_tally = database_prepare(
        db,
        "INSERT INTO tallies (kind, day, a, b, c, count) VALUES (?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (kind, day, a, b, c) DO UPDATE SET count = count + excluded.count",
        error);
    if (commit_statement && insert_registration && insert_field && add_tally) {
        begin_statement = database_prepare(db, "BEGIN IMMEDIATE", error);
    }
    return begin_statement != nullptr;
}

bool SqliteStorage::begin() {
    std::string error;
    return prepare_writer(&error) && storage_step(begin_statement.get());
}

StorageInsert SqliteStorage::insert(const Registration& registration) {
    sqlite3_stmt* insert = insert_registration.get();
    database_bind_text(insert, 1, registration.received);
    database_bind_text(insert, 2, registration.peer);
    database_bind_text(insert, 3, registration.version);
    database_bind_text(insert, 4, registration.body_sha256);
    if (!storage_step(insert)) {
        return STORAGE_FAILED;
    }
    if (sqlite3_changes(db) == 0) {
        return STORAGE_DUPLICATE;
    }
    sqlite3_int64 id = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* field = insert_field.get();
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

bool SqliteStorage::add_tallies(const Tallies& tallies) {
    sqlite3_stmt* add = add_tally.get();
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
bool SqliteStorage::read_begin(std::string* error) {
    return database_run(db, "BEGIN", error);
}

void SqliteStorage::read_end() {
    database_rollback(db);
}

bool SqliteStorage::tags(std::vector<int>* tags, std::string* error) {
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
bool SqliteStorage::walk(const std::function<bool(const Registration&)>& visit,
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

bool SqliteStorage::search(const std::string& search, long long offset, int limit,
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

bool SqliteStorage::registration(long long id, Registration* registration, bool* found,
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

bool SqliteStorage::tallies(Tallies* tallies, std::string* error) {
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

bool SqliteStorage::account_add(const Account& account, bool* added, std::string* error) {
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

bool SqliteStorage::account_remove(const std::string& name, bool* removed, std::string* error) {
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

bool SqliteStorage::accounts(std::vector<Account>* accounts, std::string* error) {
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

bool SqliteStorage::releases(std::vector<Release>* releases, std::string* error) {
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

bool SqliteStorage::release_add(const Release& release, std::string* error) {
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

// The tallies of every registration stored before version 2.
bool SqliteStorage::tally_stored(std::string* error) {
    Tallies tallies;
    return prepare_writer(error) &&
           walk(
               [&](const Registration& registration) {
                   storage_tally(registration, &tallies);
                   return true;
               },
               error) &&
           (add_tallies(tallies) ||
            storage_failed(db, "cannot count the stored registrations", error));
}

// One transaction, so that two processes opening an old database at once
// upgrade it once, and a failed step leaves it as it was.
bool SqliteStorage::upgrade(std::string* error) {
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
        (version >= 2 || (database_run(db, g_schema_2, error) && tally_stored(error))) &&
        (version == STORAGE_SCHEMA_VERSION ||
         database_run(db, ("PRAGMA user_version=" + std::to_string(STORAGE_SCHEMA_VERSION)).c_str(),
                      error)) &&
        database_run(db, "COMMIT", error);
    if (!good) {
        database_rollback(db);
    }
    return good;
}

bool SqliteStorage::number(sqlite3_stmt* statement, long long* number, std::string* error) {
    bool good = sqlite3_step(statement) == SQLITE_ROW;
    if (good) {
        *number = sqlite3_column_int64(statement, 0);
    } else {
        *error = std::string("the database does not answer: ") + sqlite3_errmsg(db);
    }
    sqlite3_reset(statement);
    return good;
}

bool SqliteStorage::change_mark(long long* mark, std::string* error) {
    if (!data_version) {
        data_version = database_prepare(db, "PRAGMA data_version", error);
    }
    return data_version && number(data_version.get(), mark, error);
}

bool SqliteStorage::healthy(std::string* error) {
    if (!schema_count) {
        schema_count = database_prepare(db, "SELECT count(*) FROM sqlite_schema", error);
    }
    long long count = 0;
    return schema_count && number(schema_count.get(), &count, error);
}

bool storage_sqlite_open(const std::string& path, bool create, Database* db, std::string* error) {
    std::unique_ptr<SqliteStorage> storage(new SqliteStorage);
    bool good = database_open(path, create, &storage->owner, error);
    storage->db = storage->owner.get();
    good = good && (!create || storage->upgrade(error));
    db->reset(storage.release());
    return good;
}
