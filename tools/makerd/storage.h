// Every statement that makerd runs against its database, so that another
// database can stand behind the same functions. The schema, version 2:
//
//   registrations(id, received, peer, version, body_sha256 UNIQUE)
//   fields(registration_id, position, tag, value)     indexed by (tag, value)
//   releases(id, company, product, version, page, stored_name UNIQUE, size,
//            sha256, signature, published)
//   accounts(name PRIMARY KEY, password_hash, created)
//   tallies(kind, day, a, b, c, count)                PRIMARY KEY (kind, day, a, b, c)
//
// PRAGMA user_version holds the version. Version 1 is the first three tables,
// which makerd made before it numbered its schema (user_version 0); version 2
// adds the accounts of the console and the tallies that its overview reads,
// made from the registrations already stored when a database is upgraded.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "database.h"
#include "releases.h"

enum { STORAGE_SCHEMA_VERSION = 2 };

struct Registration {
    long long id = 0;     // given by the database, in the order received
    std::string received; // UTC, ISO 8601
    std::string peer;
    std::string version; // the sender's version text
    std::string body_sha256;
    std::vector<std::pair<int, std::string>> fields; // tag and value, in record order
};

// The value of `tag` as the export shows it: a repeated tag's values joined by
// line feeds; `*present` false (and "") when the registration lacks it.
std::string storage_field(const Registration& registration, int tag, bool* present = nullptr);

// What the overview counts, by kind, UTC day ("" when not by day) and up to three texts:
//   "registered" by day; "product" company, product, version; "windows" field 310;
//   "processor" field 302; "mailing" field 400; "download" stored name, by day;
//   "update" (update checks) by day.
struct TallyKey {
    std::string kind, day, a, b, c;
    bool operator<(const TallyKey& other) const {
        return std::tie(kind, day, a, b, c) <
               std::tie(other.kind, other.day, other.a, other.b, other.c);
    }
};
using Tallies = std::map<TallyKey, long long>;

// Adds what one stored registration counts for.
void storage_tally(const Registration& registration, Tallies* tallies);

// Opens `path` (database_open); with `create`, also makes or upgrades the schema.
bool storage_open(const std::string& path, bool create, Database* db, std::string* error);

// The writer's statements, prepared once.
struct StorageWriter {
    sqlite3* db = nullptr;
    DatabaseStatement begin{nullptr, sqlite3_finalize};
    DatabaseStatement commit{nullptr, sqlite3_finalize};
    DatabaseStatement insert_registration{nullptr, sqlite3_finalize};
    DatabaseStatement insert_field{nullptr, sqlite3_finalize};
    DatabaseStatement add_tally{nullptr, sqlite3_finalize};
};

bool storage_writer_prepare(sqlite3* db, StorageWriter* writer, std::string* error);
bool storage_begin(StorageWriter* writer);
bool storage_commit(StorageWriter* writer);

enum StorageInsert { STORAGE_STORED, STORAGE_DUPLICATE, STORAGE_FAILED };

// Inserts `registration` unless a body of the same SHA-256 is stored; inside
// a transaction of storage_begin.
StorageInsert storage_insert(StorageWriter* writer, const Registration& registration);

// Adds `tallies` to the stored counts, inside a transaction of storage_begin.
bool storage_add_tallies(StorageWriter* writer, const Tallies& tallies);

// Starts a read transaction: what is read until storage_read_end comes from one moment.
bool storage_read_begin(sqlite3* db, std::string* error);
void storage_read_end(sqlite3* db);

// Every field tag that any registration has, in order.
bool storage_tags(sqlite3* db, std::vector<int>* tags, std::string* error);

// Calls `visit` with every registration in id order, fields included, until it returns false.
bool storage_walk(sqlite3* db, const std::function<bool(const Registration&)>& visit,
                  std::string* error);

// Newest first: at most `limit` registrations from `offset` on, those with
// `search` in a field, the peer, the version or the time received (ASCII
// letters of any case; every registration when empty).
bool storage_search(sqlite3* db, const std::string& search, long long offset, int limit,
                    std::vector<Registration>* found, std::string* error);

// Registration `id`; `*found` false when there is none.
bool storage_registration(sqlite3* db, long long id, Registration* registration, bool* found,
                          std::string* error);

// Adds every stored tally to `tallies`.
bool storage_tallies(sqlite3* db, Tallies* tallies, std::string* error);

struct Account {
    std::string name;
    std::string password_hash; // Argon2id, as libsodium writes it
    std::string created;       // UTC, ISO 8601
};

// Adds `account`; `*added` false when its name is taken.
bool storage_account_add(sqlite3* db, const Account& account, bool* added, std::string* error);

// Removes account `name`; `*removed` false when there is none.
bool storage_account_remove(sqlite3* db, const std::string& name, bool* removed,
                            std::string* error);

// Every account, by name.
bool storage_accounts(sqlite3* db, std::vector<Account>* accounts, std::string* error);

// Every release, in the order published.
bool storage_releases(sqlite3* db, std::vector<Release>* releases, std::string* error);

// Records `release` (its id is given by the database).
bool storage_release_add(sqlite3* db, const Release& release, std::string* error);

// A statement whose one number changes whenever another connection commits.
DatabaseStatement storage_prepare_data_version(sqlite3* db, std::string* error);

// A statement that reads the schema, to tell that the database answers.
DatabaseStatement storage_prepare_health(sqlite3* db, std::string* error);
