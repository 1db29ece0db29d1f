// The one writer of the database. It owns the write connection and commits
// registrations in groups: every registration queued when it wakes goes into
// one transaction, with what they add to the tallies, and each request thread
// is answered only after that commit, so one fsync serves many registrations.
//
// It also counts downloads and update checks: in memory while requests come,
// written every second in a transaction of their own, so that counting never
// waits for the disk, and a crash loses at most the last second's counts and
// never a registration.
#pragma once

#include <string>

#include "storage.h"

using WriterRecord = Registration; // its id is not read

enum WriterResult {
    WRITER_STORED,
    WRITER_DUPLICATE, // a registration of the same body is already stored
    WRITER_FAILED,    // nothing stored: the database refused the transaction
};

struct Writer;

// Opens (creating or upgrading when needed) the database (a file or a postgresql:// URL) and starts
// the writer's thread.
Writer* writer_start(const std::string& db_path, std::string* error);

// Queues the record and waits for its committed result. After writer_stop,
// every record fails.
WriterResult writer_submit(Writer* writer, const WriterRecord& record);

// Counts one of `kind` today (UTC): "download" with the stored name as
// `subject`, or "update" with none. Never waits for the database.
void writer_count(Writer* writer, const std::string& kind, const std::string& subject);

// The stored tallies, read through `db`, with the counts not yet written.
bool writer_tallies(Writer* writer, Storage* db, Tallies* tallies, std::string* error);

// Commits what is queued and counted, ends the thread and closes the database.
void writer_stop(Writer* writer);
