// Any bytes through makerd's intake_register into a database on tmpfs: what the decoder refuses
// is refused with its reason, stores nothing; what it accepts is stored, every field in order,
// and is a duplicate after. First byte % 3 == 2 (as regdecode's seeds): the rest is a record.
#include <unistd.h>

#include <cstdlib>

#include "database.h"
#include "digest.h"
#include "fuzz_file.h"
#include "intake.h"
#include "tools/regdecode/decode.h"

namespace {

RegdecodeResult* g_decoded = new RegdecodeResult;
std::string g_path = "/dev/shm/makerd_fuzz_" + std::to_string(getpid()) + ".db", g_error;
Writer* g_writer = writer_start(g_path, &g_error);
SqliteDatabase g_db;
bool g_opened = database_open(g_path, false, &g_db, &g_error);
DatabaseStatement g_fields = database_prepare(g_db.get(),
                                              "SELECT tag, value FROM fields JOIN registrations ON"
                                              " id = registration_id WHERE body_sha256 = ?"
                                              " ORDER BY position",
                                              &g_error);
int g_removed_at_exit = atexit([] { system(("rm -f " + g_path + "*").c_str()); });

void check(const std::string& body) {
    int decoded = regdecode_body(body.data(), static_cast<int>(body.size()), g_decoded);
    IntakeOutcome outcome = intake_register(g_writer, body, "fuzz");
    database_bind_text(g_fields.get(), 1, digest_sha256_hex(body));
    int count = 0;
    for (; sqlite3_step(g_fields.get()) == SQLITE_ROW; ++count) {
        fuzz_check(decoded && count < g_decoded->field_count);
        const RegdecodeField& field = g_decoded->fields[count];
        const char* value = reinterpret_cast<const char*>(g_decoded->record) + field.offset;
        fuzz_check(sqlite3_column_int(g_fields.get(), 0) == field.tag &&
                   database_column_text(g_fields.get(), 1) == std::string(value, field.length));
    }
    sqlite3_reset(g_fields.get());
    fuzz_check(decoded ? g_opened && outcome.status != INTAKE_REFUSED &&
                             outcome.status != INTAKE_FAILED && count == g_decoded->field_count &&
                             intake_register(g_writer, body, "").status == INTAKE_DUPLICATE
                       : outcome.status == INTAKE_REFUSED && outcome.reason == g_decoded->error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > INTAKE_BODY_LIMIT) {
        return 0;
    }
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1),
        body(static_cast<size_t>(registration_body_size(static_cast<int>(size))), '\0');
    int length = static_cast<int>(rest.size());
    if (data[0] % 3 != 2 || length > REGISTRATION_RECORD_LIMIT) {
        check(rest);
        return 0;
    }
    registration_scramble(reinterpret_cast<unsigned char*>(&rest[0]), length);
    registration_body_compose(reinterpret_cast<const unsigned char*>(rest.c_str()), length,
                              &body[0], static_cast<int>(body.size()), &length);
    check(body.substr(0, static_cast<size_t>(length)));
    return 0;
}
