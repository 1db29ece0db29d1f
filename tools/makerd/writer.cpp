#include "writer.h"

#include "database.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const std::chrono::seconds g_count_period(1);

struct WriterJob {
    const WriterRecord* record;
    WriterResult result = WRITER_FAILED;
    bool done = false;
};

} // namespace

struct Writer {
    Database db;
    std::mutex mutex;
    std::condition_variable queued;
    std::condition_variable answered;
    std::deque<WriterJob*> queue;
    bool stopping = false;
    std::thread thread;
    std::mutex count_mutex; // only around the map: a request never waits for the disk
    Tallies counts;
    std::mutex flush_mutex; // held while a batch of counts is neither in `counts` nor stored
};

namespace {

// One transaction for the whole group: all of it is stored, or none.
void writer_commit(Writer* writer, const std::vector<WriterJob*>& group) {
    Storage* storage = writer->db.get();
    std::vector<const Registration*> records;
    for (WriterJob* job : group) {
        records.push_back(job->record);
    }
    std::vector<StorageInsert> inserted;
    bool good = storage->begin() && storage->insert_group(records, &inserted);
    Tallies tallies;
    for (size_t i = 0; good && i < group.size(); ++i) {
        group[i]->result = inserted[i] == STORAGE_STORED ? WRITER_STORED : WRITER_DUPLICATE;
        if (inserted[i] == STORAGE_STORED) {
            storage_tally(*group[i]->record, &tallies);
        }
    }
    if (good && storage->add_tallies(tallies) && storage->commit()) {
        return;
    }
    fprintf(stderr, "makerd: %zu registrations not stored: %s\n", group.size(),
            storage->failure().c_str());
    storage->rollback();
    for (WriterJob* job : group) {
        job->result = WRITER_FAILED;
    }
}

// A batch that cannot be written goes back, to be tried with the next.
void writer_flush_counts(Writer* writer) {
    std::lock_guard<std::mutex> flushing(writer->flush_mutex);
    Tallies batch;
    {
        std::lock_guard<std::mutex> lock(writer->count_mutex);
        batch.swap(writer->counts);
    }
    Storage* storage = writer->db.get();
    if (batch.empty() || (storage->begin() && storage->add_tallies(batch) && storage->commit())) {
        return;
    }
    fprintf(stderr, "makerd: counts not stored, kept for the next try: %s\n",
            storage->failure().c_str());
    storage->rollback();
    std::lock_guard<std::mutex> lock(writer->count_mutex);
    for (const auto& [key, count] : batch) {
        writer->counts[key] += count;
    }
}

void writer_loop(Writer* writer) {
    auto next_flush = std::chrono::steady_clock::now() + g_count_period;
    for (;;) {
        std::vector<WriterJob*> group;
        bool stop = false;
        {
            std::unique_lock<std::mutex> lock(writer->mutex);
            writer->queued.wait_until(lock, next_flush,
                                      [&] { return !writer->queue.empty() || writer->stopping; });
            group.assign(writer->queue.begin(), writer->queue.end());
            writer->queue.clear();
            stop = writer->stopping && group.empty();
        }
        if (!group.empty()) {
            writer_commit(writer, group);
            {
                std::lock_guard<std::mutex> lock(writer->mutex);
                for (WriterJob* job : group) {
                    job->done = true;
                }
            }
            writer->answered.notify_all();
        }
        if (stop || std::chrono::steady_clock::now() >= next_flush) {
            writer_flush_counts(writer);
            next_flush = std::chrono::steady_clock::now() + g_count_period;
        }
        if (stop) {
            return;
        }
    }
}

} // namespace

Writer* writer_start(const std::string& db_path, std::string* error) {
    std::unique_ptr<Writer> writer(new Writer);
    if (!storage_open(db_path, true, &writer->db, error)) {
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

void writer_count(Writer* writer, const std::string& kind, const std::string& subject) {
    TallyKey key{kind, database_now().substr(0, 10), subject, "", ""};
    std::lock_guard<std::mutex> lock(writer->count_mutex);
    ++writer->counts[key];
}

bool writer_tallies(Writer* writer, Storage* db, Tallies* tallies, std::string* error) {
    std::lock_guard<std::mutex> flushing(writer->flush_mutex);
    if (!db->tallies(tallies, error)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(writer->count_mutex);
    for (const auto& [key, count] : writer->counts) {
        (*tallies)[key] += count;
    }
    return true;
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
