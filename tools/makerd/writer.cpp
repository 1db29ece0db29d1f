#include "writer.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "database.h"

namespace {

struct WriterJob {
    const WriterRecord* record;
    WriterResult result = WRITER_FAILED;
    bool done = false;
};

} // namespace

struct Writer {
    Database db;
    DatabaseStatement begin{nullptr, sqlite3_finalize};
    DatabaseStatement commit{nullptr, sqlite3_finalize};
    DatabaseStatement insert_registration{nullptr, sqlite3_finalize};
    DatabaseStatement insert_field{nullptr, sqlite3_finalize};
    std::mutex mutex;
    std::condition_variable queued;
    std::condition_variable answered;
    std::deque<WriterJob*> queue;
    bool stopping = false;
    std::thread thread;
};

namespace {

bool writer_step(sqlite3_stmt* statement) {
    int status = sqlite3_step(statement);
    sqlite3_reset(statement);
    return status == SQLITE_DONE;
}

bool writer_insert(Writer* writer, WriterJob* job) {
    const WriterRecord& record = *job->record;
    sqlite3_stmt* insert = writer->insert_registration.get();
    database_bind_text(insert, 1, record.received);
    database_bind_text(insert, 2, record.peer);
    database_bind_text(insert, 3, record.version);
    database_bind_text(insert, 4, record.body_sha256);
    if (!writer_step(insert)) {
        return false;
    }
    if (sqlite3_changes(writer->db.get()) == 0) {
        job->result = WRITER_DUPLICATE;
        return true;
    }
    sqlite3_int64 id = sqlite3_last_insert_rowid(writer->db.get());
    sqlite3_stmt* field = writer->insert_field.get();
    for (size_t i = 0; i < record.fields.size(); ++i) {
        sqlite3_bind_int64(field, 1, id);
        sqlite3_bind_int64(field, 2, static_cast<sqlite3_int64>(i));
        sqlite3_bind_int(field, 3, record.fields[i].first);
        database_bind_text(field, 4, record.fields[i].second);
        if (!writer_step(field)) {
            return false;
        }
    }
    job->result = WRITER_STORED;
    return true;
}

// One transaction for the whole group: all of it is stored, or none.
void writer_commit(Writer* writer, const std::vector<WriterJob*>& group) {
    bool good = writer_step(writer->begin.get());
    for (size_t i = 0; good && i < group.size(); ++i) {
        good = writer_insert(writer, group[i]);
    }
    if (good && writer_step(writer->commit.get())) {
        return;
    }
    fprintf(stderr, "makerd: %zu registrations not stored: %s\n", group.size(),
            sqlite3_errmsg(writer->db.get()));
    database_rollback(writer->db.get());
    for (WriterJob* job : group) {
        job->result = WRITER_FAILED;
    }
}

void writer_loop(Writer* writer) {
    for (;;) {
        std::vector<WriterJob*> group;
        {
            std::unique_lock<std::mutex> lock(writer->mutex);
            writer->queued.wait(lock, [&] { return !writer->queue.empty() || writer->stopping; });
            if (writer->queue.empty()) {
                return;
            }
            group.assign(writer->queue.begin(), writer->queue.end());
            writer->queue.clear();
        }
        writer_commit(writer, group);
        {
            std::lock_guard<std::mutex> lock(writer->mutex);
            for (WriterJob* job : group) {
                job->done = true;
            }
        }
        writer->answered.notify_all();
    }
}

} // namespace

Writer* writer_start(const std::string& db_path, std::string* error) {
    std::unique_ptr<Writer> writer(new Writer);
    if (!database_open(db_path, true, &writer->db, error)) {
        return nullptr;
    }
    sqlite3* db = writer->db.get();
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
    if (!writer->begin || !writer->commit || !writer->insert_registration ||
        !writer->insert_field) {
        return nullptr;
    }
    writer->thread = std::thread(writer_loop, writer.get());
    return writer.release();
}

WriterResult writer_submit(Writer* writer, const WriterRecord& record) {
    WriterJob job;
    job.record = &record;
    std::unique_lock<std::mutex> lock(writer->mutex);
    if (writer->stopping) {
        return WRITER_FAILED;
    }
    writer->queue.push_back(&job);
    writer->queued.notify_one();
    writer->answered.wait(lock, [&] { return job.done; });
    return job.result;
}

void writer_stop(Writer* writer) {
    {
        std::lock_guard<std::mutex> lock(writer->mutex);
        writer->stopping = true;
    }
    writer->queued.notify_one();
    writer->thread.join();
    delete writer;
}
