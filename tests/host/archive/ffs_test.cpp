#include "archive/ffs.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/format.h"
#include "archive/scramble.h"
#include "core/log.h"
#include "core/memory.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

namespace {

const std::string g_image =
    std::string("MZ\x90\0", 4) + " a small program image, not read by the reader";

std::string little_endian(unsigned value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string scrambled(std::string bytes) {
    ffs_scramble(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(bytes.size()),
                 FFS_KEY, 14);
    return bytes;
}

// An executable with `script` as its archive, as the installer leaves it.
std::string archived(const std::string& image, const std::string& script) {
    return image + FFS_TAG + scrambled(script) + little_endian(static_cast<unsigned>(image.size()));
}

class FfsTest : public testing::Test {
  protected:
    void SetUp() override {
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        mem_init(MEM_LIMIT_MAXIMUM, 0);
    }
    void TearDown() override {
        ffs_close();
        log_close();
    }
    std::string log() { return read_file(log_path_); }
    std::string log_path_;
};

TEST_F(FfsTest, EachDamagedFileGivesItsOwnLineAndNoArchive) {
    const std::string archive = archived(g_image, "\x16TEXT:x\r\n");
    const unsigned size = static_cast<unsigned>(archive.size());
    struct Case {
        const char* what;
        std::string bytes;
        std::string line; // %s stands for the path
    } cases[] = {
        {"shorter than a trailer", "MZ", "File '%s' doesn't contain FFS data!\n"},
        {"empty", "", "File '%s' doesn't contain FFS data!\n"},
        {"trailer 0", g_image + little_endian(0), "File '%s' doesn't contain FFS data!\n"},
        {"trailer at the end", archive.substr(0, size - 4) + little_endian(size),
         "File '%s' doesn't contain FFS data!\n"},
        {"trailer past the end", archive.substr(0, size - 4) + little_endian(0xFFFFFFF0u),
         "File '%s' doesn't contain FFS data!\n"},
        {"trailer at itself", archive.substr(0, size - 4) + little_endian(size - 4),
         "FFS Does not contain proper tag (Read " + std::to_string(size - 4) + " from " +
             std::to_string(size - 4) + ")!!!\n"},
        {"trailer in the trailer", archive.substr(0, size - 4) + little_endian(size - 2),
         "FFS Does not contain proper tag (Read " + std::to_string(size - 2) + " from " +
             std::to_string(size - 4) + ")!!!\n"},
        {"wrong tag",
         g_image + "FFS!" + scrambled("\x16TEXT:x\r\n") +
             little_endian(static_cast<unsigned>(g_image.size())),
         "FFS Does not contain proper tag (Read " + std::to_string(g_image.size()) + " from " +
             std::to_string(g_image.size() + 4 + 9) + ")!!!\n"},
        {"lower-case tag",
         g_image + "ffs?" + scrambled("\x16TEXT:x\r\n") +
             little_endian(static_cast<unsigned>(g_image.size())),
         "FFS Does not contain proper tag (Read " + std::to_string(g_image.size()) + " from " +
             std::to_string(g_image.size() + 4 + 9) + ")!!!\n"},
        // A download cut short loses the trailer's high bytes first.
        {"cut inside the trailer", archive.substr(0, size - 2),
         "File '%s' doesn't contain FFS data!\n"},
    };
    for (const Case& c : cases) {
        std::string path = write_bytes_file(test_file_name("exe"), c.bytes);
        log_close();
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
        EXPECT_EQ(0, ffs_open(path.c_str())) << c.what;
        std::string line = c.line;
        size_t at = line.find("%s");
        if (at != std::string::npos) {
            line.replace(at, 2, path);
        }
        EXPECT_EQ(line, log()) << c.what;
        int file_size = -1;
        EXPECT_EQ(1, ffs_file_size(path.c_str(), &file_size)) << c.what;
        EXPECT_EQ(static_cast<int>(c.bytes.size()), file_size) << "no archive: the file itself";
    }
}

TEST_F(FfsTest, AMissingFileCannotBeOpened) {
    std::string path = log_file_path(test_file_name("missing.exe"));
    EXPECT_EQ(0, ffs_open(path.c_str()));
    EXPECT_EQ("Couldn't open flat file '" + path + "'!\n", log());
}

TEST_F(FfsTest, TheDataBlockIsTheScriptAndTheDescrambledTrailer) {
    const std::string script = "\x16TEXT:Hello!\r\n"; // 14 bytes: the trailer masks use key[0..3]
    ASSERT_EQ(14u, script.size());
    std::string path = write_bytes_file(test_file_name("exe"), archived(g_image, script));
    ASSERT_EQ(1, ffs_open(path.c_str()));
    EXPECT_EQ("Flat/Fast File System Initialized...\n", log());

    for (const char* name : {"install.dat", "anything.txt", ""}) {
        int size = -1;
        EXPECT_EQ(1, ffs_file_size(name, &size)) << name;
        EXPECT_EQ(18, size) << name;
        std::string data(18, '?');
        EXPECT_EQ(1, ffs_read_file(name, &data[0], 18)) << name;
        EXPECT_EQ(script, data.substr(0, 14));
        // T is stored as T 00 00 00; positions 14..17 use key[0..3].
        const std::string trailer = {
            static_cast<char>(g_image.size() ^ 'S' ^ 14), static_cast<char>(0x00 ^ 'e' ^ 15 ^ 1),
            static_cast<char>(0x00 ^ 't' ^ 16 ^ 2), static_cast<char>(0x00 ^ 'u' ^ 17 ^ 3)};
        EXPECT_EQ(trailer, data.substr(14)) << name;
    }
}

TEST_F(FfsTest, ReadingGivesAtMostTheAskedSizeAndNeverMoreThanTheBlock) {
    std::string path = write_bytes_file(test_file_name("exe"), archived(g_image, "abcdef"));
    ASSERT_EQ(1, ffs_open(path.c_str()));
    std::string data(12, '#');
    EXPECT_EQ(1, ffs_read_file("install.dat", &data[0], 3));
    EXPECT_EQ("abc#########", data);
    data.assign(12, '#');
    EXPECT_EQ(1, ffs_read_file("install.dat", &data[0], 11));
    EXPECT_EQ("abcdef", data.substr(0, 6));
    EXPECT_EQ("##", data.substr(10)) << "only the 10-byte block is copied";
}

TEST_F(FfsTest, AnArchiveAnywhereBehindTheImageIsFound) {
    // Bytes between the image and the tag are not read.
    std::string image = g_image + std::string(7, '\x16');
    std::string path = write_bytes_file(test_file_name("exe"), archived(image, "\x16TEXT:x\r\n"));
    ASSERT_EQ(1, ffs_open(path.c_str()));
    int size = 0;
    ffs_file_size("install.dat", &size);
    EXPECT_EQ(13, size);
}

TEST_F(FfsTest, CloseFreesTheBlockAndLogsEvenWithoutArchive) {
    std::string path = write_bytes_file(test_file_name("exe"), archived(g_image, "abc"));
    ASSERT_EQ(1, ffs_open(path.c_str()));
    EXPECT_EQ(1, ffs_close());
    EXPECT_EQ(1, ffs_close());
    EXPECT_EQ("Flat/Fast File System Initialized...\n"
              "Flat/Fast File System Removed...\n"
              "Flat/Fast File System Removed...\n",
              log());
    mem_report();
    EXPECT_EQ(std::string::npos, log().find("Not all memory")) << log();
}

TEST_F(FfsTest, WithoutArchiveTheNameIsAFile) {
    std::string path = write_bytes_file(test_file_name("dat"), "plain bytes");
    int size = -1;
    EXPECT_EQ(1, ffs_file_size(path.c_str(), &size));
    EXPECT_EQ(11, size);
    std::string data(11, '#');
    EXPECT_EQ(1, ffs_read_file(path.c_str(), &data[0], 11));
    EXPECT_EQ("plain bytes", data);

    std::string missing = log_file_path(test_file_name("missing.dat"));
    EXPECT_EQ(0, ffs_file_size(missing.c_str(), &size));
    EXPECT_EQ(0, ffs_read_file(missing.c_str(), &data[0], 11));
    EXPECT_EQ("", log()) << "a missing file is refused silently";

    std::string longer(20, '#');
    EXPECT_EQ(0, ffs_read_file(path.c_str(), &longer[0], 20));
    EXPECT_EQ("Unable to read from file '" + path + "'\n", log());
}

TEST(FfsDeath, NullPointersStop) {
    EXPECT_EXIT(ffs_open(nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(ffs_file_size("x", nullptr), testing::ExitedWithCode(1), "Pointer is NULL");
    EXPECT_EXIT(ffs_read_file("x", nullptr, 1), testing::ExitedWithCode(1), "Pointer is NULL");
}

} // namespace
