// The storage on PostgreSQL through libpq. Every statement goes with its
// parameters apart (PQexecParams); texts travel in binary format, so that
// bytea columns hold exactly the bytes received, and results come back in
// binary format too (integers big-endian).
#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "storage.h"

namespace {

// The steps of the schema; makerd_schema holds the version reached. Version
// 2 is PostgreSQL's first: its version 1 never existed.
const char g_schema_2[] =
    "CREATE TABLE registrations ("
    " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " received text NOT NULL,"
    " peer text NOT NULL,"
    " version bytea NOT NULL,"
    " body_sha256 text NOT NULL UNIQUE);"
    "CREATE TABLE fields ("
    " registration_id bigint NOT NULL REFERENCES registrations(id),"
    " position integer NOT NULL,"
    " tag integer NOT NULL,"
    " value bytea NOT NULL,"
    " PRIMARY KEY (registration_id, position));"
    // Not (tag, value) as in SQLite: a value may be longer than an index entry can be.
    "CREATE INDEX fields_by_tag ON fields(tag);"
    "CREATE TABLE releases ("
    " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " company bytea NOT NULL,"
    " product bytea NOT NULL,"
    " version bytea NOT NULL,"
    " page bytea NOT NULL,"
    " stored_name text NOT NULL UNIQUE,"
    " size bigint NOT NULL,"
    " sha256 text NOT NULL,"
    " signature text NOT NULL,"
    " published text NOT NULL);"
    "CREATE TABLE accounts ("
    " name bytea PRIMARY KEY,"
    " password_hash text NOT NULL,"
    " created text NOT NULL);"
    "CREATE TABLE tallies ("
    " kind text NOT NULL,"
    " day text NOT NULL,"
    " a bytea NOT NULL,"
    " b bytea NOT NULL,"
    " c bytea NOT NULL,"
    " count bigint NOT NULL,"
    " PRIMARY KEY (kind, day, a, b, c));";

// Taken by every process that may change the schema, for its transaction.
const char g_schema_lock[] = "SELECT pg_advisory_xact_lock(7243100042)";

const unsigned g_oid_bytea = 17;
const unsigned g_oid_text = 25;

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

// One parameter: bytes in binary format as `type`, or a number as text.
struct Parameter {
    std::string value;
    unsigned type; // 0: let the server infer it from the statement
    int binary;
};

Parameter pg_bytes(const std::string& value) {
    return {value, g_oid_bytea, 1};
}

Parameter pg_text(const std::string& value) {
    return {value, g_oid_text, 1};
}

Parameter pg_number(long long value) {
    return {std::to_string(value), 0, 0};
}

// An array in text form, its type given by a cast in the statement: {"a","b"}.
Parameter pg_array(const std::vector<std::string>& items) {
    std::string text = "{";
    for (const std::string& item : items) {
        text += text.size() > 1 ? ",\"" : "\"";
        for (char c : item) {
            if (c == '"' || c == '\\') {
                text += '\\';
            }
            text += c;
        }
        text += '"';
    }
    return {text + "}", 0, 0};
}

// bytea's hex form, for an element of a bytea array.
std::string pg_hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex = "\\x";
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// libpq's messages, which may span lines, as one line for the log.
std::string pg_one_line(const char* message) {
    std::string line;
    for (const char* c = message; *c; ++c) {
        if (*c != '\n' && *c != '\t') {
            line += *c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::string pg_cell(const PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column),
                       static_cast<size_t>(PQgetlength(result, row, column)));
}

// A smallint, integer or bigint column, big-endian.
long long pg_integer(const PGresult* result, int row, int column) {
    const unsigned char* bytes =
        reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, column));
    int length = PQgetlength(result, row, column);
    unsigned long long value = length > 0 && (bytes[0] & 0x80) ? ~0ULL : 0;
    for (int i = 0; i < length; ++i) {
        value = value << 8 | bytes[i];
    }
    return static_cast<long long>(value);
}

// What encode(bytes, 'escape') makes of `text`: the form in which a search
// reads a bytea column, so that ILIKE can match it.
std::string pg_escape_form(const std::string& text) {
    std::string escaped;
    for (unsigned char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == 0 || c >= 0x80) {
            char octal[5];
            snprintf(octal, sizeof octal, "\\%03o", c);
            escaped += octal;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

// ILIKE's pattern for "holds `text`", with '!' as the escape character.
std::string pg_like_pattern(const std::string& text) {
    std::string pattern = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '!') {
            pattern += '!';
        }
        pattern += c;
    }
    return pattern + "%";
}

class PostgresStorage : public Storage {
  public:
    PGconn* connection = nullptr;
    std::string last_failure;

    ~PostgresStorage() override { PQfinish(connection); }

    std::string failure() override { return last_failure; }
    bool begin() override { return run("BEGIN"); }
    bool commit() override { return run("COMMIT"); }
    void rollback() override;
    StorageInsert insert(const Registration& registration) override;
    bool insert_group(const std::vector<const Registration*>& group,
                      std::vector<StorageInsert>* results) override;
    bool add_tallies(const Tallies& tallies) override;
    bool read_begin(std::string* error) override;
    void read_end() override { rollback(); }
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

    bool connected();
    Result exec(const char* sql, const std::vector<Parameter>& parameters);
    Result exec_once(const char* sql, const std::vector<Parameter>& parameters);
    bool run(const char* sql, const std::vector<Parameter>& parameters = {}) {
        return exec(sql, parameters) != nullptr;
    }
    bool failed(const std::string& what, std::string* error) {
        *error = what + ": " + last_failure;
        return false;
    }
    bool upgrade(std::string* error);
    bool read_fields(Registration* registration, std::string* error);
};

void pg_read_registration(const PGresult* result, int row, Registration* registration) {
    registration->id = pg_integer(result, row, 0);
    registration->received = pg_cell(result, row, 1);
    registration->peer = pg_cell(result, row, 2);
    registration->version = pg_cell(result, row, 3);
    registration->fields.clear();
}

} // namespace

// A lost connection is made again here, before the next statement; one lost
// inside a transaction has taken the transaction with it.
bool PostgresStorage::connected() {
    if (PQstatus(connection) != CONNECTION_OK) {
        PQreset(connection);
    }
    if (PQstatus(connection) == CONNECTION_OK) {
        return true;
    }
    last_failure = pg_one_line(PQerrorMessage(connection));
    return false;
}

// A connection found lost by a statement that began nothing and changed
// nothing (BEGIN, or a read outside a transaction) is made again and the
// statement sent once more, so that the first request after the database
// came back is not refused for the connection of before.
Result PostgresStorage::exec(const char* sql, const std::vector<Parameter>& parameters) {
    bool again = PQtransactionStatus(connection) == PQTRANS_IDLE &&
                 (strncmp(sql, "BEGIN", 5) == 0 || strncmp(sql, "SELECT", 6) == 0);
    Result result = exec_once(sql, parameters);
    return result || !again || PQstatus(connection) == CONNECTION_OK ? std::move(result)
                                                                     : exec_once(sql, parameters);
}

Result PostgresStorage::exec_once(const char* sql, const std::vector<Parameter>& parameters) {
    if (!connected()) {
        return nullptr;
    }
    std::vector<const char*> values;
    std::vector<unsigned> types;
    std::vector<int> lengths, formats;
    for (const Parameter& parameter : parameters) {
        values.push_back(parameter.value.data());
        types.push_back(parameter.type);
        lengths.push_back(static_cast<int>(parameter.value.size()));
        formats.push_back(parameter.binary);
    }
    Result result(PQexecParams(connection, sql, static_cast<int>(parameters.size()), types.data(),
                               values.data(), lengths.data(), formats.data(), 1));
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        return result;
    }
    last_failure =
        pg_one_line(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection));
    return nullptr;
}

void PostgresStorage::rollback() {
    if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE) {
        PGresult* result = PQexec(connection, "ROLLBACK");
        PQclear(result);
    }
}

// One transaction under an advisory lock, so that servers starting at once
// upgrade the database once.
bool PostgresStorage::upgrade(std::string* error) {
    Result version;
    bool good = run("BEGIN") && run(g_schema_lock) &&
                run("CREATE TABLE IF NOT EXISTS makerd_schema (version integer NOT NULL)") &&
                (version = exec("SELECT coalesce(max(version), 0)::bigint FROM makerd_schema", {}));
    if (!good) {
        rollback();
        return failed("cannot read the schema version", error);
    }
    long long number = pg_integer(version.get(), 0, 0);
    if (number > STORAGE_SCHEMA_VERSION) {
        rollback();
        *error = "the database has schema version " + std::to_string(number) +
                 ", newer than this makerd knows (" + std::to_string(STORAGE_SCHEMA_VERSION) + ")";
        return false;
    }
    // PQexec, which runs several statements, for the fixed text of the schema.
    good = number >= 2 ||
           PQresultStatus(Result(PQexec(connection, g_schema_2)).get()) == PGRES_COMMAND_OK;
    if (!good) {
        last_failure = pg_one_line(PQerrorMessage(connection));
    }
    good =
        good &&
        (number == STORAGE_SCHEMA_VERSION ||
         (run("DELETE FROM makerd_schema") && run("INSERT INTO makerd_schema (version) VALUES ($1)",
                                                  {pg_number(STORAGE_SCHEMA_VERSION)}))) &&
        run("COMMIT");
    if (!good) {
        rollback();
        return failed("cannot make the schema", error);
    }
    return true;
}

StorageInsert PostgresStorage::insert(const Registration& registration) {
    std::vector<StorageInsert> results;
    return insert_group({&registration}, &results) ? results[0] : STORAGE_FAILED;
}

// Three statements for the whole group, each over arrays. The rows go in
// order of body hash, so that two servers whose groups share bodies take
// their locks in the same order and never wait for each other in a circle.
bool PostgresStorage::insert_group(const std::vector<const Registration*>& group,
                                   std::vector<StorageInsert>* results) {
    std::vector<size_t> order(group.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return group[a]->body_sha256 < group[b]->body_sha256;
    });
    std::vector<std::string> received, peers, versions, hashes;
    for (size_t i : order) {
        received.push_back(group[i]->received);
        peers.push_back(group[i]->peer);
        versions.push_back(pg_hex(group[i]->version));
        hashes.push_back(group[i]->body_sha256);
    }
    Result rows = exec("INSERT INTO registrations (received, peer, version, body_sha256)"
                       " SELECT * FROM unnest($1::text[], $2::text[], $3::bytea[], $4::text[])"
                       " ON CONFLICT (body_sha256) DO NOTHING RETURNING id, body_sha256",
                       {pg_array(received), pg_array(peers), pg_array(versions), pg_array(hashes)});
    if (!rows) {
        return false;
    }
    std::map<std::string, long long> stored; // by body hash, until its first registration claims it
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        stored[pg_cell(rows.get(), row, 1)] = pg_integer(rows.get(), row, 0);
    }
    results->assign(group.size(), STORAGE_DUPLICATE);
    std::vector<std::string> ids, positions, tags, values;
    for (size_t i : order) {
        auto found = stored.find(group[i]->body_sha256);
        if (found == stored.end()) {
            continue;
        }
        (*results)[i] = STORAGE_STORED;
        for (size_t position = 0; position < group[i]->fields.size(); ++position) {
            ids.push_back(std::to_string(found->second));
            positions.push_back(std::to_string(position));
            tags.push_back(std::to_string(group[i]->fields[position].first));
            values.push_back(pg_hex(group[i]->fields[position].second));
        }
        stored.erase(found);
    }
    return ids.empty() ||
           run("INSERT INTO fields (registration_id, position, tag, value)"
               " SELECT * FROM unnest($1::bigint[], $2::integer[], $3::integer[], $4::bytea[])",
               {pg_array(ids), pg_array(positions), pg_array(tags), pg_array(values)});
}

bool PostgresStorage::add_tallies(const Tallies& tallies) {
    std::vector<std::string> kinds, days, a, b, c, counts;
    for (const auto& [key, count] : tallies) {
        kinds.push_back(key.kind);
        days.push_back(key.day);
        a.push_back(pg_hex(key.a));
        b.push_back(pg_hex(key.b));
        c.push_back(pg_hex(key.c));
        counts.push_back(std::to_string(count));
    }
    return tallies.empty() ||
           run("INSERT INTO tallies (kind, day, a, b, c, count) SELECT * FROM unnest($1::text[],"
               " $2::text[], $3::bytea[], $4::bytea[], $5::bytea[], $6::bigint[])"
               " ON CONFLICT (kind, day, a, b, c) DO UPDATE SET count = tallies.count + "
               "excluded.count",
               {pg_array(kinds), pg_array(days), pg_array(a), pg_array(b), pg_array(c),
                pg_array(counts)});
}

bool PostgresStorage::read_begin(std::string* error) {
    return run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY") ||
           failed("cannot start reading", error);
}

bool PostgresStorage::tags(std::vector<int>* tags, std::string* error) {
    Result rows = exec("SELECT DISTINCT tag FROM fields ORDER BY tag", {});
    if (!rows) {
        return failed("cannot read the field tags", error);
    }
    for (int i = 0; i < PQntuples(rows.get()); ++i) {
        tags->push_back(static_cast<int>(pg_integer(rows.get(), i, 0)));
    }
    return true;
}

// One row per field, streamed (single-row mode), so that an export of
// millions never holds them all in memory.
bool PostgresStorage::walk(const std::function<bool(const Registration&)>& visit,
                           std::string* error) {
    if (!connected() ||
        !PQsendQueryParams(connection,
                           "SELECT r.id, r.received, r.peer, r.version, f.tag, f.value"
                           " FROM registrations r LEFT JOIN fields f ON f.registration_id = r.id"
                           " ORDER BY r.id, f.position",
                           0, nullptr, nullptr, nullptr, nullptr, 1) ||
        !PQsetSingleRowMode(connection)) {
        last_failure = pg_one_line(PQerrorMessage(connection));
        return failed("cannot read the registrations", error);
    }
    Registration registration;
    bool reading = true, good = true;
    for (Result row; (row = Result(PQgetResult(connection)));) {
        PGresult* result = row.get();
        if (PQresultStatus(result) == PGRES_SINGLE_TUPLE && reading) {
            if (pg_integer(result, 0, 0) != registration.id) {
                reading = registration.id == 0 || visit(registration);
                pg_read_registration(result, 0, &registration);
            }
            if (!PQgetisnull(result, 0, 4)) {
                registration.fields.emplace_back(static_cast<int>(pg_integer(result, 0, 4)),
                                                 pg_cell(result, 0, 5));
            }
        } else if (PQresultStatus(result) != PGRES_SINGLE_TUPLE &&
                   PQresultStatus(result) != PGRES_TUPLES_OK) {
            last_failure = pg_one_line(PQresultErrorMessage(result));
            good = false;
        }
    }
    if (good && reading && registration.id != 0) {
        visit(registration);
    }
    return good || failed("cannot read the registrations", error);
}

bool PostgresStorage::read_fields(Registration* registration, std::string* error) {
    Result rows = exec("SELECT tag, value FROM fields WHERE registration_id = $1 ORDER BY position",
                       {pg_number(registration->id)});
    if (!rows) {
        return failed("cannot read a registration", error);
    }
    for (int i = 0; i < PQntuples(rows.get()); ++i) {
        registration->fields.emplace_back(static_cast<int>(pg_integer(rows.get(), i, 0)),
                                          pg_cell(rows.get(), i, 1));
    }
    return true;
}

bool PostgresStorage::search(const std::string& search, long long offset, int limit,
                             std::vector<Registration>* found, std::string* error) {
    Result rows = exec(
        "SELECT id, received, peer, version FROM registrations r WHERE $1 = ''"
        " OR received ILIKE $2 ESCAPE '!' OR peer ILIKE $2 ESCAPE '!'"
        " OR encode(version, 'escape') ILIKE $3 ESCAPE '!' OR EXISTS (SELECT 1 FROM fields"
        " WHERE registration_id = r.id AND encode(value, 'escape') ILIKE $3 ESCAPE '!')"
        " ORDER BY id DESC LIMIT $4 OFFSET $5",
        {pg_text(search), pg_text(pg_like_pattern(search)),
         pg_text(pg_like_pattern(pg_escape_form(search))), pg_number(limit), pg_number(offset)});
    if (!rows) {
        return failed("cannot search the registrations", error);
    }
    for (int i = 0; i < PQntuples(rows.get()); ++i) {
        found->emplace_back();
        pg_read_registration(rows.get(), i, &found->back());
    }
    for (Registration& registration : *found) {
        if (!read_fields(&registration, error)) {
            return false;
        }
    }
    return true;
}

bool PostgresStorage::registration(long long id, Registration* registration, bool* found,
                                   std::string* error) {
    Result rows = exec("SELECT id, received, peer, version FROM registrations WHERE id = $1",
                       {pg_number(id)});
    if (!rows) {
        return failed("cannot read a registration", error);
    }
    *found = PQntuples(rows.get()) == 1;
    if (!*found) {
        return true;
    }
    pg_read_registration(rows.get(), 0, registration);
    return read_fields(registration, error);
}

bool PostgresStorage::tallies(Tallies* tallies, std::string* error) {
    Result rows = exec("SELECT kind, day, a, b, c, count FROM tallies", {});
    if (!rows) {
        return failed("cannot read the counts", error);
    }
    PGresult* row = rows.get();
    for (int i = 0; i < PQntuples(row); ++i) {
        (*tallies)[{pg_cell(row, i, 0), pg_cell(row, i, 1), pg_cell(row, i, 2), pg_cell(row, i, 3),
                    pg_cell(row, i, 4)}] += pg_integer(row, i, 5);
    }
    return true;
}

bool PostgresStorage::account_add(const Account& account, bool* added, std::string* error) {
    Result rows =
        exec("INSERT INTO accounts (name, password_hash, created) VALUES ($1, $2, $3)"
             " ON CONFLICT (name) DO NOTHING RETURNING name",
             {pg_bytes(account.name), pg_text(account.password_hash), pg_text(account.created)});
    if (!rows) {
        return failed("cannot add the account", error);
    }
    *added = PQntuples(rows.get()) == 1;
    return true;
}

bool PostgresStorage::account_remove(const std::string& name, bool* removed, std::string* error) {
    Result rows = exec("DELETE FROM accounts WHERE name = $1 RETURNING name", {pg_bytes(name)});
    if (!rows) {
        return failed("cannot remove the account", error);
    }
    *removed = PQntuples(rows.get()) == 1;
    return true;
}

bool PostgresStorage::accounts(std::vector<Account>* accounts, std::string* error) {
    Result rows = exec("SELECT name, password_hash, created FROM accounts ORDER BY name", {});
    if (!rows) {
        return failed("cannot read the accounts", error);
    }
    for (int i = 0; i < PQntuples(rows.get()); ++i) {
        accounts->push_back(
            {pg_cell(rows.get(), i, 0), pg_cell(rows.get(), i, 1), pg_cell(rows.get(), i, 2)});
    }
    return true;
}

bool PostgresStorage::releases(std::vector<Release>* releases, std::string* error) {
    Result rows = exec("SELECT id, company, product, version, page, stored_name, size, sha256,"
                       " signature, published FROM releases ORDER BY id",
                       {});
    if (!rows) {
        return failed("cannot read the releases", error);
    }
    releases->clear();
    PGresult* row = rows.get();
    for (int i = 0; i < PQntuples(row); ++i) {
        Release release;
        release.id = pg_integer(row, i, 0);
        release.company = pg_cell(row, i, 1);
        release.product = pg_cell(row, i, 2);
        release.version = pg_cell(row, i, 3);
        release.page = pg_cell(row, i, 4);
        release.stored_name = pg_cell(row, i, 5);
        release.size = pg_integer(row, i, 6);
        release.sha256 = pg_cell(row, i, 7);
        release.signature = pg_cell(row, i, 8);
        release.published = pg_cell(row, i, 9);
        releases->push_back(release);
    }
    return true;
}

bool PostgresStorage::release_add(const Release& release, std::string* error) {
    return run("INSERT INTO releases (company, product, version, page, stored_name, size, sha256,"
               " signature, published) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
               {pg_bytes(release.company), pg_bytes(release.product), pg_bytes(release.version),
                pg_bytes(release.page), pg_text(release.stored_name), pg_number(release.size),
                pg_text(release.sha256), pg_text(release.signature), pg_text(release.published)}) ||
           failed("cannot record the release", error);
}

// Releases are only ever added, so the newest id tells whether any came.
bool PostgresStorage::change_mark(long long* mark, std::string* error) {
    Result rows = exec("SELECT coalesce(max(id), 0) FROM releases", {});
    if (!rows) {
        return failed("the database does not answer", error);
    }
    *mark = pg_integer(rows.get(), 0, 0);
    return true;
}

bool PostgresStorage::healthy(std::string* error) {
    return run("SELECT 1") || failed("the database does not answer", error);
}

bool storage_postgres_open(const std::string& url, bool create, Database* db, std::string* error) {
    std::unique_ptr<PostgresStorage> storage(new PostgresStorage);
    storage->connection = PQconnectdb(url.c_str());
    // The server's notices ("already exists, skipping") are no news to the maker.
    PQsetNoticeProcessor(
        storage->connection, [](void*, const char*) {}, nullptr);
    bool good = storage->connected() || storage->failed("cannot connect to the database", error);
    good = good && (!create || storage->upgrade(error));
    db->reset(storage.release());
    return good;
}
