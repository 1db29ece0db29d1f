// Any bytes as a registration body: the decoder refuses or decodes within its buffers,
// and what it accepts is what the encoder writes for the decoded record. The first
// byte picks, to get past the head and the CRC-32: 0 the whole body; 1 an encoded text
// in an agreeing head; 2 a record sent as the program sends it, which decodes to
// itself exactly when it is a well-formed run of fields.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/crc32.h"
#include "fuzz_file.h"
#include "tools/regdecode/decode.h"

namespace {

RegdecodeResult* g_result = new RegdecodeResult;

// Decodes exactly these bytes, so that an overread is caught.
int decode(const std::vector<char>& body) {
    int decoded = regdecode_body(body.data(), static_cast<int>(body.size()), g_result);
    fuzz_check(decoded || g_result->error[0] != '\0');
    if (decoded) {
        int count = g_result->record_length;
        // One byte more than the record: an empty record still has a buffer.
        std::vector<unsigned char> record(g_result->record, g_result->record + count + 1);
        registration_scramble(record.data(), count);
        std::vector<char> encoded(static_cast<size_t>(registration_encoded_length(count)) + 1);
        int length = static_cast<int>(encoded.size());
        int head = REGISTRATION_HEAD_FIXED + static_cast<int>(strlen(g_result->version));
        fuzz_check(registration_encode(record.data(), count, encoded.data(), &length) == 1 &&
                   length == g_result->encoded_length &&
                   head + length == static_cast<int>(body.size()) &&
                   memcmp(encoded.data(), body.data() + head, static_cast<size_t>(length)) == 0);
        for (int i = 0; i < g_result->field_count; ++i) {
            count -= 1 + REGISTRATION_TAG_DIGITS + g_result->fields[i].length;
        }
        fuzz_check(count == 0);
    }
    return decoded;
}

// Each field: the mark, three digits, then anything up to the next mark; so the
// record starts with a mark and every mark has its digits.
int well_formed(const unsigned char* record, int count) {
    for (int at = 0; at < count; ++at) {
        if ((at == 0 || record[at] == REGISTRATION_FIELD_MARK) &&
            (record[at] != REGISTRATION_FIELD_MARK || count - at < 4 || !isdigit(record[at + 1]) ||
             !isdigit(record[at + 2]) || !isdigit(record[at + 3]))) {
            return 0;
        }
    }
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4 * REGISTRATION_RECORD_SIZE) {
        return 0;
    }
    const char* rest = reinterpret_cast<const char*>(data + 1);
    int length = static_cast<int>(size - 1);
    if (data[0] % 3 == 0) {
        decode(std::vector<char>(rest, rest + length));
    } else if (data[0] % 3 == 1) {
        // The announced record length: any of the three that fit the groups.
        int groups = length > 8 ? (length - 8) / 4 : 0;
        unsigned count = groups ? static_cast<unsigned>(groups * 3 - (data[0] / 3) % 3) : 0;
        char head[64];
        int head_length = snprintf(head, sizeof head, REGISTRATION_HEAD_FORMAT,
                                   static_cast<unsigned>(38 + length), 4u, "1.50", count,
                                   static_cast<unsigned>(length), crc32_block(rest, length));
        std::vector<char> body(head, head + head_length);
        body.insert(body.end(), rest, rest + length);
        decode(body);
    } else if (length <= REGISTRATION_RECORD_LIMIT) {
        std::vector<unsigned char> record(data + 1, data + size);
        record.push_back(0);
        registration_scramble(record.data(), length);
        std::vector<char> body(static_cast<size_t>(registration_body_size(length)));
        int body_length = 0;
        registration_body_compose(record.data(), length, body.data(), static_cast<int>(body.size()),
                                  &body_length);
        body.resize(static_cast<size_t>(body_length));
        int expected = well_formed(data + 1, length);
        fuzz_check(decode(body) == expected);
        fuzz_check(!expected ||
                   memcmp(g_result->record, data + 1, static_cast<size_t>(length)) == 0);
    }
    return 0;
}
