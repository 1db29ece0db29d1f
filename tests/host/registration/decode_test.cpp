// Why regdecode refuses a body. What the program sends comes back whole in the fuzz
// target and in every registration scenario, whose server decodes each body with it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

#include "registration/submission.h"
#include "tools/regdecode/decode.h"

namespace {

// The body the program sends for this unscrambled record.
std::string sent_body(std::string record) {
    int count = static_cast<int>(record.size());
    registration_scramble(reinterpret_cast<unsigned char*>(&record[0]), count);
    std::string body(static_cast<size_t>(registration_body_size(count)), '\0');
    int length = 0;
    registration_body_compose(reinterpret_cast<const unsigned char*>(record.data()), count,
                              &body[0], static_cast<int>(body.size()), &length);
    return body.substr(0, static_cast<size_t>(length));
}

// A body around any encoded text, with a head whose numbers agree with it.
std::string wrap(const std::string& encoded, unsigned count) {
    char head[64];
    snprintf(head, sizeof head, "%.8X041.50%.8X%.8X%.8lX",
             static_cast<unsigned>(38 + encoded.size()), count,
             static_cast<unsigned>(encoded.size()),
             crc32(0, reinterpret_cast<const Bytef*>(encoded.data()),
                   static_cast<uInt>(encoded.size())));
    return head + encoded;
}

// Why regdecode refuses the body, or "decoded".
std::string refusal(const std::string& body) {
    std::unique_ptr<RegdecodeResult> result(new RegdecodeResult);
    int decoded = regdecode_body(body.data(), static_cast<int>(body.size()), result.get());
    return decoded ? "decoded" : result->error;
}

TEST(Regdecode, ReasonsForBadBodies) {
    std::string good = sent_body("\002000v1.50 (Release)\002207jo@example.com");
    std::string encoded = good.substr(38);
    std::string bad_crc = good, lower = good, bad_char = encoded, wrong_count = encoded;
    bad_crc[30] = bad_crc[30] == '0' ? '1' : '0';
    lower[4] = 'a';
    bad_char[12] = 'a';
    wrong_count.replace(0, 8, "00000024");
    // clang-format off
    std::tuple<std::string, const char*> cases[] = {
        {"", "body of 0 bytes is shorter than the shortest head (34 bytes)"},
        {good.substr(0, 37), "the head announces a body of"}, {good + "!", "the head announces a body of"},
        {lower, "the body length at body offset 0 is not 8 upper-case hexadecimal digits"},
        {"00000022FF" + std::string(24, '0'), "shorter than its head (289 bytes)"},
        {"00000026041\x01" "50" + std::string(24, '0'), "the version text holds the byte 0x01"},
        {wrap("00000000", 0).replace(28, 2, "0G"), "the encoded length at body offset 22"},
        {wrap("00005000", 0x5000), "a record of 20480 bytes is longer than the longest record"},
        {wrap(encoded + "!!!!", 37), "does not fit a record of 37 bytes"},
        {wrap(encoded, 40), "does not fit a record of 40 bytes"}, {bad_crc, "the CRC-32 of the encoded text is"},
        {wrap(wrong_count, 37), "the encoded text announces a record of 36 bytes, the head 37"},
        {wrap(bad_char, 37), "the byte 0x61 at body offset 50 lies outside \"!\" to \"`\""},
        {wrap("0000000 " + encoded.substr(8), 37), "the encoded text's record length at body offset 38"},
        {wrap("00000004!!!!!!!\"", 4), "the last group's padding byte 2 is 0x01, not zero"},
        {sent_body("abc"), "record byte 0: a field without its tag"},
        {sent_body("\00212"), "record byte 0: a field without its tag"},
        {sent_body("\002123ab\0021x3"), "record byte 6: a field without its tag"},
        {sent_body("\002123ab\002456"), "decoded"}}; // the last field empty
    // clang-format on
    for (const auto& [body, reason] : cases) {
        std::string error = refusal(body);
        EXPECT_NE(std::string::npos, error.find(reason)) << body << ": " << error;
    }
}

} // namespace
