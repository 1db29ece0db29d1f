#include "registration/submission.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string& input, int capacity = 1000) {
    std::vector<char> output(static_cast<size_t>(capacity), 'x');
    int written = capacity;
    EXPECT_EQ(1, registration_encode(reinterpret_cast<const unsigned char*>(input.data()),
                                     static_cast<int>(input.size()), output.data(), &written));
    EXPECT_EQ('\0', output[static_cast<size_t>(written)]);
    return std::string(output.data(), static_cast<size_t>(written));
}

std::string body(const std::string& record) {
    std::vector<char> out(
        static_cast<size_t>(registration_body_size(static_cast<int>(record.size()))));
    int length = 0;
    EXPECT_EQ(1, registration_body_compose(reinterpret_cast<const unsigned char*>(record.data()),
                                           static_cast<int>(record.size()), out.data(),
                                           static_cast<int>(out.size()), &length));
    return std::string(out.data(), static_cast<size_t>(length));
}

TEST(RegistrationEncode, WorkedExampleAbc) {
    EXPECT_EQ("0000000397*D", encode("abc"));
    EXPECT_EQ("00000032041.50000000030000000C7CDCC7D6"
              "0000000397*D",
              body("abc"));
}

TEST(RegistrationEncode, GroupsPadTheLastOneWithZeros) {
    struct Case {
        std::string input;
        const char* encoded;
    } cases[] = {
        {"", "00000000"},
        {std::string("\xFF", 1), "00000001`Q!!"},
        {std::string("\xFF\xFF", 2), "00000002``]!"},
        {std::string("\0\0\0", 3), "00000003!!!!"},
        {std::string("\xFF\xFF\xFF", 3), "00000003````"},
        {"abcd", "0000000497*D:!!!"},
        {"abcdef", "0000000697*D:'6G"},
        {std::string(16, 'z'), "00000010?HJ[?HJ[?HJ[?HJ[?HJ[?A!!"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.encoded, encode(c.input)) << c.input.size() << " bytes";
        EXPECT_EQ(static_cast<int>(strlen(c.encoded)),
                  registration_encoded_length(static_cast<int>(c.input.size())));
    }
}

TEST(RegistrationEncode, EveryCharacterStaysBetweenBangAndBacktick) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    std::string encoded = encode(all, 2000);
    for (size_t i = 8; i < encoded.size(); ++i) {
        EXPECT_GE(encoded[i], '!');
        EXPECT_LE(encoded[i], '`');
    }
}

TEST(RegistrationEncode, RefusesWithoutRoomForTheTextAndItsZero) {
    // "abc" needs 12 characters and the terminating zero.
    std::vector<char> output(20, 'x');
    int capacity = 12;
    EXPECT_EQ(0, registration_encode(reinterpret_cast<const unsigned char*>("abc"), 3,
                                     output.data(), &capacity));
    EXPECT_EQ(std::string(20, 'x'), std::string(output.data(), 20)) << "nothing written";
    capacity = 13;
    EXPECT_EQ(1, registration_encode(reinterpret_cast<const unsigned char*>("abc"), 3,
                                     output.data(), &capacity));
    EXPECT_EQ(12, capacity);
}

TEST(RegistrationEncode, BodyLengthOfA300ByteRecord) {
    std::string record(300, 'q');
    EXPECT_EQ(446u, body(record).size());
    EXPECT_EQ("000001BE041.500000012C00000198", body(record).substr(0, 30));
}

TEST(RegistrationScramble, KeystreamAndItsInverse) {
    unsigned char bytes[8] = {};
    registration_scramble(bytes, 8);
    const unsigned char keystream[8] = {0x00, 0x9E, 0x3C, 0xDA, 0x78, 0x17, 0xB5, 0x53};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(keystream[i], bytes[i]) << "position " << i;
    }
    std::vector<unsigned char> record(REGISTRATION_RECORD_LIMIT);
    for (size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    std::vector<unsigned char> copy = record;
    registration_scramble(copy.data(), static_cast<int>(copy.size()));
    EXPECT_NE(record, copy);
    // The last position, computed in 64 bits: the 32-bit product did not overflow.
    long long last = static_cast<long long>(record.size() - 1) * REGISTRATION_SCRAMBLE_MULTIPLIER /
                     REGISTRATION_SCRAMBLE_DIVISOR;
    EXPECT_EQ(static_cast<unsigned char>(record.back() ^ (last & 0xFF)), copy.back());
    registration_scramble(copy.data(), static_cast<int>(copy.size()));
    EXPECT_EQ(record, copy);
}

TEST(RegistrationBodyDeath, BodyThatDoesNotFitStops) {
    unsigned char record[30] = {};
    char out[60];
    int length = 0;
    EXPECT_DEATH(registration_body_compose(record, 30, out, sizeof out, &length),
                 "Encoder failed \\(30 / 22\\)!");
}

} // namespace
