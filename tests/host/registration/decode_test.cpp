#include "tools/regdecode/decode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "registration/registration_samples.h"

namespace {

// A body around any encoded text, with a head whose numbers agree with it.
std::string wrap(const std::string& encoded, unsigned count, const char* version = "1.50") {
    unsigned crc = static_cast<unsigned>(crc32(0L, reinterpret_cast<const Bytef*>(encoded.data()),
                                               static_cast<uInt>(encoded.size())));
    size_t head = 34 + strlen(version);
    char text[400];
    snprintf(text, sizeof text, "%.8X%.2X%s%.8X%.8X%.8X",
             static_cast<unsigned>(head + encoded.size()), static_cast<unsigned>(strlen(version)),
             version, count, static_cast<unsigned>(encoded.size()), crc);
    return text + encoded;
}

std::unique_ptr<RegdecodeResult> decode(const std::string& body, int expect) {
    std::unique_ptr<RegdecodeResult> result(new RegdecodeResult);
    EXPECT_EQ(expect, regdecode_body(body.data(), static_cast<int>(body.size()), result.get()))
        << result->error;
    return result;
}

RecordFields fields_of(const RegdecodeResult& result) {
    RecordFields fields;
    for (int i = 0; i < result.field_count; ++i) {
        const RegdecodeField& f = result.fields[i];
        fields.emplace_back(f.tag,
                            std::string(reinterpret_cast<const char*>(result.record) + f.offset,
                                        static_cast<size_t>(f.length)));
    }
    return fields;
}

TEST(Regdecode, ReadsTheFieldsAndTheHead) {
    RecordFields fields = {{0, "v1.50 (Release)"}, {1, "Installer"}, {100, "REG"}, {203, ""},
                           {300, "0.0.0.0"},       {401, "0"}};
    std::string body = sent_body(record_of(fields));
    auto result = decode(body, 1);
    EXPECT_STREQ("1.50", result->version);
    EXPECT_EQ(static_cast<int>(record_of(fields).size()), result->record_length);
    EXPECT_EQ(static_cast<int>(body.size()) - 38, result->encoded_length);
    EXPECT_EQ(fields, fields_of(*result));
}

TEST(Regdecode, RoundTripOfRandomRecords) {
    std::mt19937 random(6104);
    for (int round = 0; round < 300; ++round) {
        RecordFields fields;
        size_t size = 0;
        size_t limit = round < 10 ? size_t{REGISTRATION_RECORD_LIMIT} : 1 + random() % 3000;
        while (true) {
            std::string value(random() % (round < 10 ? 400 : 40), ' ');
            for (char& c : value) {
                do {
                    c = static_cast<char>(random());
                } while (c == REGISTRATION_FIELD_MARK);
            }
            if (size + 4 + value.size() > limit) {
                break;
            }
            size += 4 + value.size();
            fields.emplace_back(static_cast<int>(random() % 1000), value);
        }
        std::string record = record_of(fields);
        auto result = decode(sent_body(record), 1);
        ASSERT_EQ(static_cast<int>(record.size()), result->record_length);
        EXPECT_EQ(record,
                  std::string(reinterpret_cast<const char*>(result->record), record.size()));
        EXPECT_EQ(fields, fields_of(*result)) << "round " << round;
    }
}

TEST(Regdecode, EmptyRecordHasNoFields) {
    auto result = decode(sent_body(""), 1);
    EXPECT_EQ(0, result->field_count);
    EXPECT_EQ(8, result->encoded_length);
}

TEST(Regdecode, RefusesMalformedBodies) {
    std::string good = sent_body(record_of({{0, "v1.50 (Release)"}, {207, "jo@example.com"}}));
    std::string encoded = good.substr(38);
    unsigned count = 4 + 15 + 4 + 14;
    std::string bad_char = encoded;
    bad_char[12] = 'a';
    std::string lower = good;
    lower[4] = 'a';
    std::string garbage_record = sent_body("abc");
    // 4 record bytes: the last group holds one real byte and two padding bytes.
    std::string padded = "00000004!!!!!!!\"";
    std::string bad_crc = good;
    bad_crc[30] = bad_crc[30] == '0' ? '1' : '0';
    std::string wrong_count = encoded;
    wrong_count.replace(0, 8, "00000024");
    struct Case {
        std::string body;
        const char* reason;
    } cases[] = {
        {"", "body of 0 bytes is shorter than the shortest head (34 bytes)"},
        {good.substr(0, 33), "shorter than the shortest head"},
        {good.substr(0, 37), "the head announces a body of"},
        {good + "!", "the head announces a body of"},
        {lower, "the body length at body offset 0 is not 8 upper-case hexadecimal digits"},
        {"00000022FF" + std::string(24, '0'), "shorter than its head (289 bytes)"},
        {"0000002604" +
             std::string("1\x01"
                         "50") +
             std::string(24, '0'),
         "the version text holds the byte 0x01"},
        {wrap(std::string(8, '0'), 0).replace(28, 2, "0G"), "the encoded length at body offset 22"},
        {wrap("00005000", 0x5000), "a record of 20480 bytes is longer than the longest record"},
        {wrap(encoded + "!!!!", count), "does not fit a record of 37 bytes"},
        {wrap(encoded, count + 3), "does not fit a record of 40 bytes"},
        {good.substr(0, 38) + encoded.substr(0, encoded.size() - 4) + "    ",
         "the CRC-32 of the encoded text is"},
        {bad_crc, "the CRC-32 of the encoded text is"},
        {wrap(wrong_count, count), "the encoded text announces a record of 36 bytes, the head 37"},
        {wrap(bad_char, count), "the byte 0x61 at body offset 50 lies outside \"!\" to \"`\""},
        {wrap(std::string("0000000") + " " + encoded.substr(8), count),
         "the encoded text's record length at body offset 38"},
        {wrap(padded, 4), "the last group's padding byte 2 is 0x01, not zero"},
        {garbage_record, "record byte 0: a field without its tag"},
        {sent_body(std::string("\x02"
                               "12")),
         "record byte 0: a field without its tag"},
        {sent_body(std::string("\x02"
                               "123ab\x02"
                               "1x3")),
         "record byte 6: a field without its tag"},
        {sent_body(std::string("\x02"
                               "123ab\x02")),
         "record byte 6: a field without its tag"},
    };
    for (const Case& c : cases) {
        auto result = decode(c.body, 0);
        EXPECT_NE(std::string::npos, std::string(result->error).find(c.reason))
            << "body '" << c.body << "': " << result->error;
    }
}

} // namespace
