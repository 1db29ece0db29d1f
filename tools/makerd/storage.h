// makerd's database behind one interface, with two implementations: a SQLite
// file (storage_sqlite.cpp) for one server on one machine, and PostgreSQL
// (storage_postgres.cpp) for several servers sharing one database. Every
// statement is fixed text with parameters. The schema, version 2:
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
// PostgreSQL keeps the version in the table makerd_schema and starts at 2;
// there the texts that come from a registration or a maker are bytea, kept
// as the bytes received.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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

enum StorageInsert { STORAGE_STORED, STORAGE_DUPLICATE, STORAGE_FAILED };

struct Account {
    std::string name;
    std::string password_hash; // Argon2id, as libsodium writes it
    std::string created;       // UTC, ISO 8601
};

// One connection. Not for two threads at once. The PostgreSQL one connects
// again by itself when its connection was lost, at its next operation.
class Storage {
  public:
    virtual ~Storage() = default;

    // The database's own words about the last failure.
    virtual std::string failure() = 0;

    // The writer's transaction: begin, inserts and tallies, commit (or rollback).
    virtual bool begin() = 0;
    virtual bool commit() = 0;
    virtual void rollback() = 0;

    // Inserts `registration` unless a body of the same SHA-256 is stored.
    virtual StorageInsert insert(const Registration& registration) = 0;

    // Inserts each of `group` as insert does, `results` in the same order; in
    // as few round trips as the database allows. False when any failed.
    virtual bool insert_group(const std::vector<const Registration*>& group,
                              std::vector<StorageInsert>* results);

    // Adds `tallies` to the stored counts.
    virtual bool add_tallies(const Tallies& tallies) = 0;

    // A read transaction: what is read until read_end comes from one moment.
    virtual bool read_begin(std::string* error) = 0;
    virtual void read_end() = 0;

    // Every field tag that any registration has, in order.
    virtual bool tags(std::vector<int>* tags, std::string* error) = 0;

    // Calls `visit` with every registration in id order, fields included, until it returns false.
    virtual bool walk(const std::function<bool(const Registration&)>& visit,
                      std::string* error) = 0;

    // Newest first: at most `limit` registrations from `offset` on, those with
    // `search` in a field, the peer, the version or the time received (ASCII
    // letters of any case; every registration when empty).
    virtual bool search(const std::string& search, long long offset, int limit,
                        std::vector<Registration>* found, std::string* error) = 0;

    // Registration `id`; `*found` false when there is none.
    virtual bool registration(long long id, Registration* registration, bool* found,
                              std::string* error) = 0;

    // Adds every stored tally to `tallies`.
    virtual bool tallies(Tallies* tallies, std::string* error) = 0;

    // Adds `account`; `*added` false when its name is taken.
    virtual bool account_add(const Account& account, bool* added, std::string* error) = 0;

    // Removes account `name`; `*removed` false when there is none.
    virtual bool account_remove(const std::string& name, bool* removed, std::string* error) = 0;

    // Every account, by name.
    virtual bool accounts(std::vector<Account>* accounts, std::string* error) = 0;

    // Every release, in the order published.
    virtual bool releases(std::vector<Release>* releases, std::string* error) = 0;

    // Records `release` (its id is given by the database).
    virtual bool release_add(const Release& release, std::string* error) = 0;

    // A number that changes whenever a release is added, by any process.
    virtual bool change_mark(long long* mark, std::string* error) = 0;

    // Whether the database answers a query.
    virtual bool healthy(std::string* error) = 0;
};

using Database = std::unique_ptr<Storage>;

// Whether `target` names a PostgreSQL database (postgresql://...) rather than a SQLite file.
bool storage_is_postgres(const std::string& target);

// Opens `target`; with `create`, also makes or upgrades the schema (and, for
// SQLite, the file).
bool storage_open(const std::string& target, bool create, Database* db, std::string* error);

bool storage_sqlite_open(const std::string& path, bool create, Database* db, std::string* error);
bool storage_postgres_open(const std::string& url, bool create, Database* db, std::string* error);
