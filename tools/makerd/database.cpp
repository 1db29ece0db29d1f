#include "database.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

const int g_busy_milliseconds = 10000;

bool database_failed(sqlite3* db, const std::string& what, std::string* error) {
    *error = what + ": " + sqlite3_errmsg(db);
    return false;
}

// journal_mode answers with the mode in force, which stays "delete" where WAL
// cannot work (a file system without shared memory, for one).
bool database_use_wal(sqlite3* db, std::string* error) {
    DatabaseStatement mode = database_prepare(db, "PRAGMA journal_mode=WAL", error);
    if (!mode) {
        return false;
    }
    if (sqlite3_step(mode.get()) != SQLITE_ROW) {
        return database_failed(db, "cannot switch to WAL", error);
    }
    std::string answer = database_column_text(mode.get(), 0);
    if (answer != "wal") {
        *error = "the database stays in journal mode '" + answer + "', not WAL";
        return false;
    }
    return true;
}

} // namespace

bool database_open(const std::string& path, bool create, SqliteDatabase* db, std::string* error) {
    sqlite3* handle = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int status = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
    db->reset(handle);
    if (status != SQLITE_OK) {
        return database_failed(handle, "cannot open the database '" + path + "'", error);
    }
    sqlite3_busy_timeout(handle, g_busy_milliseconds);
    if (!database_run(handle, "PRAGMA synchronous=FULL", error)) {
        return false;
    }
    return !create || database_use_wal(handle, error);
}

DatabaseStatement database_prepare(sqlite3* db, const char* sql, std::string* error) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        database_failed(db, "cannot prepare a statement", error);
    }
    return DatabaseStatement(statement, sqlite3_finalize);
}

bool database_run(sqlite3* db, const char* sql, std::string* error) {
    for (const char* rest = sql; *rest != '\0';) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, rest, -1, &statement, &rest) != SQLITE_OK) {
            return database_failed(db, "cannot prepare a statement", error);
        }
        if (!statement) {
            continue; // only blanks were left
        }
        DatabaseStatement owned(statement, sqlite3_finalize);
        int status;
        while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        if (status != SQLITE_DONE) {
            database_failed(db, "the database refused a statement", error);
            database_rollback(db);
            return false;
        }
    }
    return true;
}

void database_rollback(sqlite3* db) {
    if (sqlite3_get_autocommit(db)) {
        return;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "ROLLBACK", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
}

int database_bind_text(sqlite3_stmt* statement, int index, const std::string& text) {
    return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
}

std::string database_column_text(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

std::string database_now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t seconds = system_clock::to_time_t(now);
    long milliseconds = static_cast<long>(
        duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    tm calendar;
    gmtime_r(&seconds, &calendar);
    char text[40];
    size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &calendar);
    snprintf(text + length, sizeof text - length, ".%03ldZ", milliseconds);
    return text;
}
