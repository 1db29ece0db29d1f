// The SQLite database: one file in WAL mode, shared by the server and
// the commands, which may run at the same time (its schema: storage.h).
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

using DatabaseStatement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDatabase = std::unique_ptr<sqlite3, DatabaseCloser>;

// Opens `path` with a busy timeout and synchronous=FULL, so that a commit is
// on the disk when it returns. With `create`, makes the file when it is
// missing and switches it to WAL.
bool database_open(const std::string& path, bool create, SqliteDatabase* db, std::string* error);

// One statement, or an empty one with the reason in `error`.
DatabaseStatement database_prepare(sqlite3* db, const char* sql, std::string* error);

// Runs every statement of `sql` (no parameters) to its end; on a failure,
// rolls back the transaction that `sql` may have opened.
bool database_run(sqlite3* db, const char* sql, std::string* error);

// Ends the open transaction, if any, without its changes.
void database_rollback(sqlite3* db);

// Binds text of any bytes, copied.
int database_bind_text(sqlite3_stmt* statement, int index, const std::string& text);

// The text of a result column, empty for NULL.
std::string database_column_text(sqlite3_stmt* statement, int column);

// The current time in UTC, ISO 8601 with milliseconds: 2024-05-01T12:00:00.123Z.
std::string database_now();
