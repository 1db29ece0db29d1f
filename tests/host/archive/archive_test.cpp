#include <gtest/gtest.h>

#include <string>

#include "archive/ffs.h"
#include "archive/format.h"
#include "archive/scramble.h"
#include "core/log.h"
#include "core/memory.h"
#include "support/log_file.h"

namespace {

std::string scrambled(std::string bytes) {
    ffs_scramble(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(bytes.size()),
                 FFS_KEY, 14);
    return bytes;
}

TEST(Scramble, MasksMixKeyPositionAndKeyIndexAndTwiceRestores) {
    std::string data = scrambled(std::string(300, '\0'));
    EXPECT_EQ("SetupSampleKey", data.substr(0, 14));
    EXPECT_EQ(std::string({'S' ^ 14, 'e' ^ 15 ^ 1}), data.substr(14, 2));
    EXPECT_EQ('y' ^ 27 ^ 13, data[27]);
    EXPECT_EQ('p' ^ 4, data[256]); // position 256 keeps only its low 8 bits
    EXPECT_EQ(std::string(300, '\0'), scrambled(data));
}

class Ffs : public testing::Test {
  protected:
    void SetUp() override { mem_init(MEM_LIMIT_MAXIMUM, 0); }
    void TearDown() override { ffs_close(), log_close(); }
    std::string open(const std::string& bytes, int opened) {
        std::string path = write_bytes_file(test_file_name("exe"), bytes);
        log_ = open_test_log(test_file_name("log"), LOG_FILE);
        EXPECT_EQ(opened, ffs_open(path.c_str()));
        return path;
    }
    std::string log_;
};

// The image, the tag, the scrambled script, and the image's size as the trailer.
const std::string g_image = std::string("MZ\x90\0", 4) + " a small program image";
const std::string g_size = std::string(1, static_cast<char>(g_image.size())) + std::string(3, '\0');
const std::string g_archive = g_image + FFS_TAG + scrambled("\x16TEXT:Hello!\r\n") + g_size;

TEST_F(Ffs, TheDataBlockIsTheScriptAndTheDescrambledTrailerCutToTheRead) {
    open(g_archive, 1);
    EXPECT_EQ("Flat/Fast File System Initialized...\n", read_file(log_));
    int size = -1;
    EXPECT_EQ(1, ffs_file_size("install.dat", &size));
    EXPECT_EQ(18, size);
    std::string data(20, '#');
    EXPECT_EQ(1, ffs_read_file("", &data[0], 20));
    EXPECT_EQ("\x16TEXT:Hello!\r\n" + scrambled(std::string(14, '\0') + g_size).substr(14) + "##",
              data);
    EXPECT_EQ(1, ffs_close());
    EXPECT_EQ(1, ffs_close());
    mem_report();
    EXPECT_EQ("Flat/Fast File System Initialized...\nFlat/Fast File System Removed...\n"
              "Flat/Fast File System Removed...\n",
              read_file(log_));
}

// The scenarios check every damage's line in a real run; here a file without an
// archive is read as itself.
TEST_F(Ffs, ADamagedFileGivesItsLineAndIsReadAsItself) {
    const std::string cases[][2] = {{"MZ", ""},
                                    {g_image + "ffs?" + g_archive.substr(g_image.size() + 4),
                                     "FFS Does not contain proper tag (Read " +
                                         std::to_string(g_image.size()) + " from " +
                                         std::to_string(g_archive.size() - 4) + ")!!!\n"}};
    for (const auto& c : cases) {
        std::string path = open(c[0], 0);
        EXPECT_EQ(c[1].empty() ? "File '" + path + "' doesn't contain FFS data!\n" : c[1],
                  read_file(log_));
        int size = -1;
        EXPECT_EQ(1, ffs_file_size(path.c_str(), &size));
        EXPECT_EQ(static_cast<int>(c[0].size()), size);
        std::string data(size + 1, '#');
        EXPECT_EQ(1, ffs_read_file(path.c_str(), &data[0], size));
        EXPECT_EQ(c[0] + "#", data);
        log_ = open_test_log(test_file_name("log"), LOG_FILE);
        EXPECT_EQ(0, ffs_read_file(path.c_str(), &data[0], size + 1));
        EXPECT_EQ("Unable to read from file '" + path + "'\n", read_file(log_));
    }
}

} // namespace
