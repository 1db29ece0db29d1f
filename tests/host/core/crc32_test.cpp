#include "core/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

TEST(Crc32, KnownVectors) {
    EXPECT_EQ(0x352441C2u, crc32_block("abc", 3));
    EXPECT_EQ(0xCBF43926u, crc32_block("123456789", 9));
    EXPECT_EQ(0x00000000u, crc32_block("", 0));
}

TEST(Crc32, AgreesWithZlibOnRandomBuffers) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> data(random() % 5000);
        for (unsigned char& byte : data) {
            byte = static_cast<unsigned char>(random());
        }
        unsigned expected =
            static_cast<unsigned>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
        EXPECT_EQ(expected, crc32_block(data.data(), static_cast<int>(data.size())))
            << "length " << data.size();
    }
}

} // namespace
