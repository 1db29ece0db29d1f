// makerd's storage: one table of cases, run against a SQLite file and against
// a throwaway PostgreSQL cluster (tests/server/throwaway_pg.py), each case
// through two connections as two servers would hold them.
#include <libpq-fe.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "database.h"
#include "storage.h"
#include "support/log_file.h"

namespace {

// The bytes a registration may carry: NUL, bytes that are not UTF-8, LIKE's
// wildcards and escape characters, letters of both cases.
Registration sample(const std::string& hash, const std::string& peer, const std::string& email) {
    Registration registration;
    registration.received = "2026-05-01T12:00:00.000Z";
    registration.peer = peer;
    registration.version = "1.50";
    registration.body_sha256 = hash;
    registration.fields = {{101, "Acme"},
                           {102, std::string("T\0o\xFFl", 5)},
                           {207, email},
                           {400, "100% back\\slash_!"},
                           {400, "caf\xC3\xA9"}};
    return registration;
}

// The registrations by the last digit of their peer: PostgreSQL's ids may leave gaps.
std::string ids(const std::vector<Registration>& rows) {
    std::string text;
    for (const Registration& row : rows) {
        text += (text.empty() ? "" : " ") + row.peer.substr(row.peer.size() - 1);
    }
    return text;
}

std::string search(Storage* db, const std::string& text, long long offset = 0, int limit = 10) {
    std::vector<Registration> found;
    std::string error;
    return db->search(text, offset, limit, &found, &error) ? ids(found) : error;
}

const char* inserted(StorageInsert result) {
    return result == STORAGE_STORED      ? "stored"
           : result == STORAGE_DUPLICATE ? "duplicate"
                                         : "failed";
}

using Case = std::function<std::string(Storage* a, Storage* b)>;

// Each case runs on what the cases before it stored, through connection `a`,
// `b`, or both.
// clang-format off
const std::pair<const char*, Case> g_cases[] = {
    {"stored duplicate stored", [](Storage* a, Storage*) {
        std::string out;
        EXPECT_TRUE(a->begin()) << a->failure();
        for (const Registration& r : {sample("h1", "10.0.0.1", "ONE@x"), sample("h1", "", ""),
                                      sample("h2", "10.0.0.2", "two@x")}) {
            out += std::string(out.empty() ? "" : " ") + inserted(a->insert(r));
        }
        EXPECT_TRUE(a->commit()) << a->failure();
        return out; }},
    {"duplicate", [](Storage*, Storage* b) {  // the body hash is unique across connections
        EXPECT_TRUE(b->begin());
        std::string out = inserted(b->insert(sample("h2", "10.9.9.9", "other@x")));
        EXPECT_TRUE(b->commit());
        return out; }},
    {"rolled back", [](Storage* a, Storage* b) {
        EXPECT_TRUE(a->begin());
        a->insert(sample("h3", "10.0.0.3", "three@x"));
        a->rollback();
        std::vector<Registration> rows;
        std::string error;
        return b->search("", 0, 10, &rows, &error) && ids(rows) == "2 1" ? "rolled back" : error; }},
    {"1 2 exact", [](Storage*, Storage* b) {
        std::string out, error;
        long long first_id = 0;
        EXPECT_TRUE(b->read_begin(&error)) << error;
        EXPECT_TRUE(b->walk([&](const Registration& r) {
            out += r.peer.substr(r.peer.size() - 1) + " ";
            first_id = first_id ? first_id : r.id;
            return true;
        }, &error)) << error;
        Registration first;
        bool found = false;
        EXPECT_TRUE(b->registration(first_id, &first, &found, &error)) << error;
        b->read_end();
        Registration expected = sample("h1", "10.0.0.1", "ONE@x");
        return out + (found && first.fields == expected.fields && first.peer == expected.peer &&
                      first.received == expected.received && first.version == expected.version
                          ? "exact" : "differs"); }},
    {"stops after 1", [](Storage* a, Storage*) {
        std::string out, error;
        EXPECT_TRUE(a->walk([&](const Registration& r) {
            out += "stops after " + r.peer.substr(r.peer.size() - 1);
            return false;
        }, &error)) << error;
        return out; }},
    {"not found", [](Storage* a, Storage*) {
        Registration none;
        bool found = true;
        std::string error;
        return a->registration(99, &none, &found, &error) && !found ? "not found" : error; }},
    {"101 102 207 400", [](Storage* a, Storage*) {
        std::vector<int> tags;
        std::string error, out;
        EXPECT_TRUE(a->tags(&tags, &error)) << error;
        for (int tag : tags) {
            out += (out.empty() ? "" : " ") + std::to_string(tag);
        }
        return out; }},
    {"2 1|2 1|1|2|2 1|2 1|2 1|2 1||2|1", [](Storage* a, Storage*) {
        return search(a, "") + "|" + search(a, "aCmE") + "|" + search(a, "one@") + "|" +
               search(a, "10.0.0.2") + "|" + search(a, "2026-05") + "|" + search(a, "0% B") + "|" +
               search(a, "k\\s") + "|" + search(a, "caf\xC3\xA9") + "|" + search(a, "_x") + "|" +
               search(a, "", 0, 1) + "|" + search(a, "", 1, 5); }},
    {"5 registered, 2 downloads", [](Storage* a, Storage* b) {  // counts add up across servers
        Tallies first, second, stored;
        ++first[{"download", "2026-05-01", "f.exe", "", ""}];
        second[{"download", "2026-05-01", "f.exe", "", ""}] = 1;
        second[{"registered", "2026-05-01", "", "", ""}] = 3;
        storage_tally(sample("h1", "", ""), &first);
        storage_tally(sample("h2", "", ""), &second);
        EXPECT_TRUE(a->begin() && a->add_tallies(first) && a->commit()) << a->failure();
        EXPECT_TRUE(b->begin() && b->add_tallies(second) && b->commit()) << b->failure();
        std::string error;
        EXPECT_TRUE(a->tallies(&stored, &error)) << error;
        return std::to_string(stored[{"registered", "2026-05-01", "", "", ""}]) + " registered, " +
               std::to_string(stored[{"download", "2026-05-01", "f.exe", "", ""}]) + " downloads"; }},
    {"added taken listed removed absent", [](Storage* a, Storage* b) {
        bool added = false, again = true, removed = false, twice = true;
        std::vector<Account> accounts;
        std::string error;
        EXPECT_TRUE(a->account_add({"maker", "$argon2id$x", "2026-05-01T00:00:00.000Z"}, &added, &error) &&
                    b->account_add({"maker", "other", "2026-05-02T00:00:00.000Z"}, &again, &error) &&
                    b->accounts(&accounts, &error) && b->account_remove("maker", &removed, &error) &&
                    a->account_remove("maker", &twice, &error)) << error;
        return std::string(added ? "added" : "not added") + (again ? " added" : " taken") +
               (accounts.size() == 1 && accounts[0].password_hash == "$argon2id$x" ? " listed" : " unlisted") +
               (removed ? " removed" : " kept") + (twice ? " removed" : " absent"); }},
    {"changed 1 Acme ok", [](Storage* a, Storage* b) {  // the update information follows another server's publish
        long long before = 0, after = 0;
        std::vector<Release> releases;
        std::string error;
        Release release;
        release.company = "Acme";
        release.product = std::string("T\0ol", 4);
        release.stored_name = "tool-1.exe";
        release.size = 5000000000LL;
        EXPECT_TRUE(b->change_mark(&before, &error) && a->release_add(release, &error) &&
                    b->change_mark(&after, &error) && b->releases(&releases, &error)) << error;
        return std::string(before != after ? "changed " : "same ") + std::to_string(releases.size()) +
               " " + releases[0].company + (releases[0].product == release.product &&
               releases[0].size == release.size && b->healthy(&error) ? " ok" : " differs"); }},
    {"stored duplicate duplicate", [](Storage* a, Storage*) {  // a group in one go, a quote in a text
        Registration fourth = sample("h4", "\"10.0.0.4", "four@x"), first = sample("h1", "", "");
        std::vector<StorageInsert> results;
        EXPECT_TRUE(a->begin() && a->insert_group({&fourth, &first, &fourth}, &results) &&
                    a->commit()) << a->failure();
        std::string out;
        for (StorageInsert result : results) {
            out += std::string(out.empty() ? "" : " ") + inserted(result);
        }
        return out + (search(a, "four@") == "4" ? "" : " unsearchable"); }},
};
// clang-format on

// The database of one run: its target for --db and how to mark its schema newer than makerd knows.
struct Backend {
    std::string target;
    std::function<bool()> make_newer;
};

void run_cases(const Backend& backend) {
    Database a, b;
    std::string error;
    ASSERT_TRUE(storage_open(backend.target, true, &a, &error)) << error;
    ASSERT_TRUE(storage_open(backend.target, false, &b, &error)) << error;
    for (const auto& [expected, run] : g_cases) {
        EXPECT_EQ(expected, run(a.get(), b.get())) << backend.target;
    }
    ASSERT_TRUE(backend.make_newer());
    Database newer;
    EXPECT_FALSE(storage_open(backend.target, true, &newer, &error));
    EXPECT_EQ("the database has schema version 3, newer than this makerd knows (2)", error);
}

TEST(MakerdStorage, Sqlite) {
    std::string path = log_file_path("makerd_storage.db");
    remove(path.c_str());
    run_cases({path, [&] {
                   SqliteDatabase db;
                   std::string error;
                   return database_open(path, false, &db, &error) &&
                          database_run(db.get(), "PRAGMA user_version = 3", &error);
               }});
}

// What makerd says when it cannot reach its database, and where its help names PostgreSQL.
TEST(MakerdStorage, Messages) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"export --db postgresql://makerd@127.0.0.1:1/maker 2>&1",
         "makerd: cannot connect to the database: connection to server at \"127.0.0.1\", port 1 failed: "
         "Connection refused Is the server running on that host and accepting TCP/IP connections?\n"},
        {"--help | tail -n 2",
         "  FILE is a SQLite file, or a PostgreSQL database that several servers share:\n"
         "  postgresql://USER@HOST:PORT/NAME (README, \"The maker's server\").\n"}};
    // clang-format on
    for (const auto& [arguments, expected] : rows) {
        FILE* run = popen((std::string(MAKERD_PATH " ") + arguments).c_str(), "r");
        std::string out;
        char chunk[512];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, run)) > 0;) {
            out.append(chunk, got);
        }
        pclose(run);
        EXPECT_EQ(expected, out) << arguments;
    }
}

TEST(MakerdStorage, Postgres) {
    // Under /tmp, which the cluster's unprivileged owner can reach wherever the build is.
    char made[] = "/tmp/makerd-storage-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(made));
    std::string folder = made, helper = "python3 " SOURCE_DIR "/tests/server/throwaway_pg.py ";
    ASSERT_EQ(0, chmod(made, 0755));
    FILE* started = popen((helper + "start '" + folder + "/pg'").c_str(), "r");
    char line[256] = "";
    bool good = fgets(line, sizeof line, started) != nullptr;
    pclose(started);
    std::string url = std::string(line).substr(0, strcspn(line, "\n"));
    if (good) {
        run_cases({url, [&] {
                       PGconn* connection = PQconnectdb(url.c_str());
                       PGresult* result =
                           PQexec(connection, "UPDATE makerd_schema SET version = 3");
                       bool updated = PQresultStatus(result) == PGRES_COMMAND_OK;
                       PQclear(result);
                       PQfinish(connection);
                       return updated;
                   }});
    }
    EXPECT_EQ(0, system((helper + "stop '" + folder + "/pg'").c_str()));
    rmdir(made);
    ASSERT_TRUE(good) << "no PostgreSQL cluster started";
}

} // namespace
