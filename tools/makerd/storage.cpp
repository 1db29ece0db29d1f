#include "storage.h"

std::string storage_field(const Registration& registration, int tag, bool* present) {
    std::string value;
    bool seen = false;
    for (const auto& field : registration.fields) {
        if (field.first == tag) {
            value += (seen ? "\n" : "") + field.second;
            seen = true;
        }
    }
    if (present) {
        *present = seen;
    }
    return value;
}

void storage_tally(const Registration& registration, Tallies* tallies) {
    auto field = [&](int tag) { return storage_field(registration, tag); };
    ++(*tallies)[{"registered", registration.received.substr(0, 10), "", "", ""}];
    ++(*tallies)[{"product", "", field(101), field(102), field(103)}];
    ++(*tallies)[{"windows", "", field(310), "", ""}];
    ++(*tallies)[{"processor", "", field(302), "", ""}];
    ++(*tallies)[{"mailing", "", field(400), "", ""}];
}

bool Storage::insert_group(const std::vector<const Registration*>& group,
                           std::vector<StorageInsert>* results) {
    for (const Registration* registration : group) {
        results->push_back(insert(*registration));
        if (results->back() == STORAGE_FAILED) {
            return false;
        }
    }
    return true;
}

bool storage_is_postgres(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

bool storage_open(const std::string& target, bool create, Database* db, std::string* error) {
    return storage_is_postgres(target) ? storage_postgres_open(target, create, db, error)
                                       : storage_sqlite_open(target, create, db, error);
}
