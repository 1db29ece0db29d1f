// The one writer of registrations. It owns the write connection and commits in
// groups: every registration queued when it wakes goes into one transaction,
// and each request thread is answered only after that commit, so one fsync
// serves many registrations.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct WriterRecord {
    std::string received; // UTC, ISO 8601
    std::string peer;
    std::string version;
    std::string body_sha256;
    std::vector<std::pair<int, std::string>> fields; // tag and value, in record order
};

enum WriterResult {
    WRITER_STORED,
    WRITER_DUPLICATE, // a registration of the same body is already stored
    WRITER_FAILED,    // nothing stored: the database refused the transaction
};

struct Writer;

// Opens (creating when missing) the database and starts the writer's thread.
Writer* writer_start(const std::string& db_path, std::string* error);

// Queues the record and waits for its committed result. After writer_stop,
// every record fails.
WriterResult writer_submit(Writer* writer, const WriterRecord& record);

// Commits what is queued, ends the thread and closes the database.
void writer_stop(Writer* writer);
