#include "archive/scramble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/format.h"

namespace {

const char g_key[] = FFS_KEY;
const int g_key_length = 14;

std::vector<unsigned char> scrambled_zeros(int count) {
    std::vector<unsigned char> data(static_cast<size_t>(count), 0);
    ffs_scramble(data.data(), count, g_key, g_key_length);
    return data;
}

TEST(Scramble, TheKeyIsFourteenCharacters) {
    EXPECT_EQ(g_key_length, static_cast<int>(strlen(g_key)));
    EXPECT_STREQ("SetupSampleKey", g_key);
}

TEST(Scramble, ZeroBytesShowTheKeyInTheFirstFourteenPositions) {
    std::vector<unsigned char> data = scrambled_zeros(300);
    EXPECT_EQ(std::string(g_key), std::string(data.begin(), data.begin() + 14));
}

TEST(Scramble, MasksMixInThePositionAndTheKeyIndex) {
    std::vector<unsigned char> data = scrambled_zeros(300);
    struct Case {
        int position;
        unsigned char mask;
    } cases[] = {
        {14, static_cast<unsigned char>('S' ^ 14)},      // key[0], 14 ^ 0
        {15, static_cast<unsigned char>('e' ^ 15 ^ 1)},  // key[1]
        {27, static_cast<unsigned char>('y' ^ 27 ^ 13)}, // key[13]
        {28, static_cast<unsigned char>('S' ^ 28)},      // key[0] again
        {256, static_cast<unsigned char>('p' ^ 4)},      // key[4] ^ (256 ^ 4), low 8 bits
        {299,
         static_cast<unsigned char>('S' ^ 43 ^ 5)}, // key[5]: 299 = 21 * 14 + 5, 299 & 0xFF = 43
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.mask, data[static_cast<size_t>(c.position)]) << "position " << c.position;
    }
}

TEST(Scramble, ScramblingTwiceRestoresEveryByte) {
    std::vector<unsigned char> original(5000);
    unsigned seed = 12345;
    for (unsigned char& byte : original) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(seed >> 16);
    }
    std::vector<unsigned char> data = original;
    ffs_scramble(data.data(), static_cast<int>(data.size()), g_key, g_key_length);
    EXPECT_NE(original, data);
    ffs_scramble(data.data(), static_cast<int>(data.size()), g_key, g_key_length);
    EXPECT_EQ(original, data);
}

TEST(Scramble, AShorterKeyRepeatsSooner) {
    unsigned char data[4] = {0, 0, 0, 0};
    ffs_scramble(data, 4, "ab", 2);
    EXPECT_EQ('a', data[0]);
    EXPECT_EQ('b', data[1]);
    EXPECT_EQ('a' ^ 2, data[2]);
    EXPECT_EQ('b' ^ 3 ^ 1, data[3]);
}

TEST(Scramble, AnEmptyBlockIsLeftAlone) {
    unsigned char data[1] = {0x42};
    EXPECT_EQ(1, ffs_scramble(data, 0, g_key, g_key_length));
    EXPECT_EQ(0x42, data[0]);
}

} // namespace
