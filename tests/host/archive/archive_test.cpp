#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "archive/ffs.h"
#include "archive/format.h"
#include "archive/scramble.h"
#include "core/log.h"
#include "core/memory.h"
#include "support/log_file.h"
#include "support/pe_file.h"

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
    log_ = open_test_log(test_file_name("log"), LOG_FILE);
    EXPECT_EQ(0, ffs_open("no-such-file"));
    EXPECT_EQ("Couldn't open flat file 'no-such-file'!\n", read_file(log_));
}

std::string little_endian(size_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// `image` carrying a script whose archive ends on a multiple of 8 when the image does.
std::string archived(const std::string& image) {
    return image + FFS_TAG + scrambled(std::string("\x16TEXT:Signed\r\n\0", 16)) +
           little_endian(image.size());
}

std::string with_security(std::string file, int magic, uint32_t offset, uint32_t size) {
    pe_file_set_security(&file, magic, offset, size);
    return file;
}

// Either width: the archive of a signed program ends where its certificate table
// starts; a table that lies anywhere but wholly inside the file, or in the
// archive's way, is damage, as is a trailer before it that points nowhere.
TEST_F(Ffs, ASignedProgramsArchiveEndsAtItsCertificateTable) {
    const std::string init = "Flat/Fast File System Initialized...\n";
    const std::string no_data = "File '$' doesn't contain FFS data!\n";
    const std::string at_table = "Signed: FFS ends at the certificate table (48 bytes at 536)\n";
    const std::string at_end =
        "Signed: FFS ends at the end of the file, behind the certificate table (";
    const std::string damaged = "File '$' has a damaged certificate table (";
    for (int magic : {PE_FILE_32, PE_FILE_64}) {
        std::string image = pe_file_image(magic, 512);
        std::string packed = archived(image);                            // 536 bytes
        std::string signed_file = pe_file_signed(packed, magic, 48);     // the table at 536
        std::string behind = archived(pe_file_signed(image, magic, 48)); // the tag at 560
        std::string nowhere = signed_file, elsewhere = signed_file, at_end_of_data = signed_file;
        nowhere.replace(532, 4, "\xFF\xFF\xFF\xFF");
        elsewhere.replace(532, 4, little_endian(100));
        at_end_of_data.replace(532, 4, little_endian(536));
        // (name, file, whether it opens, the data handed out, the log with $ for the path)
        std::tuple<const char*, std::string, int, std::string, std::string> cases[] = {
            {"unsigned", packed, 1, scrambled(packed.substr(516)), init},
            {"signed", signed_file, 1, scrambled(packed.substr(516)), at_table + init},
            {"behind the table", behind, 1, scrambled(behind.substr(564)),
             at_end + "48 bytes at 512)\n" + init},
            {"signer's padding", pe_file_signed(packed + '\0', magic, 48), 0, "",
             "Signed: FFS ends at the certificate table (48 bytes at 544)\n" + no_data},
            {"header alone", pe_file_signed(packed, magic, 8), 1, scrambled(packed.substr(516)),
             "Signed: FFS ends at the certificate table (8 bytes at 536)\n" + init},
            {"trailer nowhere", nowhere, 0, "", at_table + no_data},
            {"trailer at the table", at_end_of_data, 0, "", at_table + no_data},
            {"trailer elsewhere", elsewhere, 0, "",
             at_table + "FFS Does not contain proper tag (Read 100 from 532)!!!\n"},
            {"outside the file", with_security(signed_file, magic, 584, 8), 0, "",
             damaged + "8 bytes at 584)!\n"},
            {"past its end", with_security(signed_file, magic, 536, 56), 0, "",
             damaged + "56 bytes at 536)!\n"},
            {"empty", with_security(signed_file, magic, 536, 0), 0, "",
             damaged + "0 bytes at 536)!\n"},
            {"in the headers", with_security(signed_file, magic, 128, 456), 0, "",
             damaged + "456 bytes at 128)!\n"},
            {"in the archive", with_security(signed_file, magic, 528, 56), 0, "",
             damaged + "56 bytes at 528)!\n"},
            {"over the archive behind it", with_security(behind, magic, 512, 56), 0, "",
             at_end + "56 bytes at 512)\n" + damaged + "56 bytes at 512)!\n"}};
        for (const auto& [name, file, opened, data, log] : cases) {
            SCOPED_TRACE(std::string(name) + (magic == PE_FILE_32 ? " PE32" : " PE32+"));
            std::string path = open(file, opened);
            std::string expected = log;
            if (expected.find('$') != std::string::npos) {
                expected.replace(expected.find('$'), 1, path);
            }
            EXPECT_EQ(expected, read_file(log_));
            int size = -1;
            EXPECT_EQ(1, ffs_file_size(path.c_str(), &size));
            std::string read(static_cast<size_t>(size), '#');
            ffs_read_file(path.c_str(), &read[0], size);
            EXPECT_EQ(opened ? data : file, read); // a refused file is read as itself
            ffs_close();
        }
    }
}

} // namespace
