#include "intake.h"

#include <memory>

#include "database.h"
#include "digest.h"
#include "tools/regdecode/decode.h"

IntakeOutcome intake_register(Writer* writer, const std::string& body, const std::string& peer) {
    if (body.size() > INTAKE_BODY_LIMIT) {
        return {INTAKE_REFUSED, "the body of " + std::to_string(body.size()) +
                                    " bytes is longer than " + std::to_string(INTAKE_BODY_LIMIT)};
    }
    WriterRecord record;
    record.received = database_now();
    std::unique_ptr<RegdecodeResult> decoded(new RegdecodeResult);
    if (!regdecode_body(body.data(), static_cast<int>(body.size()), decoded.get())) {
        return {INTAKE_REFUSED, decoded->error};
    }
    record.peer = peer;
    record.version = decoded->version;
    record.body_sha256 = digest_sha256_hex(body);
    const char* values = reinterpret_cast<const char*>(decoded->record);
    for (int i = 0; i < decoded->field_count; ++i) {
        const RegdecodeField& field = decoded->fields[i];
        record.fields.emplace_back(
            field.tag, std::string(values + field.offset, static_cast<size_t>(field.length)));
    }
    switch (writer_submit(writer, record)) {
    case WRITER_STORED:
        return {INTAKE_STORED, ""};
    case WRITER_DUPLICATE:
        return {INTAKE_DUPLICATE, ""};
    default:
        return {INTAKE_FAILED, "the registration could not be stored; please send it again later"};
    }
}
