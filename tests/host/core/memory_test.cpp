#include "core/memory.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "support/log_file.h"

namespace {

const std::string g_closing = std::string(79, '=') + "\n";

std::string section(const std::string& name) {
    std::string line = "\n====[" + name + "]";
    return line + std::string(80 - line.size(), '=') + "\n";
}

class MemoryTest : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
};

TEST_F(MemoryTest, InitAndReportWriteTheirSectionsAndPeaks) {
    std::string path = open_test_log("memory_report.log", LOG_FILE | LOG_DEBUG);
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    void* one = MEM_ALLOC(1);
    void* five = MEM_ALLOC(5);
    MEM_RETURN(one, 1);
    MEM_RETURN(five, 5);
    EXPECT_EQ(nullptr, one);
    EXPECT_EQ(nullptr, five);
    void* big = MEM_ALLOC(2000);
    MEM_RETURN(big, 2000);
    mem_report();

    EXPECT_EQ("Tessel v0.33\n" + section("Memory Init") +
                  "Quickmemory Initialized (Disabled)\nMemory Initialized (Maximum)\n" + g_closing +
                  section("Memory Remove") + "Maximum Memory in use (2 / 1k)\n" + g_closing,
              read_file(path));
}

TEST_F(MemoryTest, LeaksAreReportedInBytesBelow1024AndInKFrom1024) {
    struct Case {
        int size;
        const char* line;
    } cases[] = {
        {1, "Not all memory was free'd (1 / 12b)\n"},
        {1012, "Not all memory was free'd (1 / 1020b)\n"},
        {1016, "Not all memory was free'd (1 / 1k)\n"},
        {3000, "Not all memory was free'd (1 / 2k)\n"},
    };
    for (const Case& c : cases) {
        std::string path = open_test_log("memory_leak.log", LOG_FILE);
        mem_init(MEM_LIMIT_MAXIMUM, 0);
        void* leaked = MEM_ALLOC(c.size);
        mem_report();
        EXPECT_EQ(c.line, read_file(path)) << c.size;
        MEM_RETURN(leaked, c.size);
        log_close();
    }
}

TEST_F(MemoryTest, BlocksAreZeroFilledBetweenGuards) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    unsigned char* area = static_cast<unsigned char*>(MEM_ALLOC(5));
    for (int i = -4; i < 0; ++i) {
        EXPECT_EQ(0xCC, area[i]);
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(0, area[i]);
    }
    for (int i = 8; i < 12; ++i) {
        EXPECT_EQ(0xCC, area[i]);
    }
    // The rounding past the request is the caller's and is not guarded.
    area[5] = area[6] = area[7] = 0x55;
    EXPECT_EQ(1, MEM_RETURN(area, 5));
}

TEST_F(MemoryTest, QuickMemoryReportsItsSizeWhenReserved) {
    std::string path = open_test_log("memory_quick.log", LOG_FILE | LOG_DEBUG);
    mem_init(100 * 1024, 4096);
    qmem_new_frame();
    mem_report();
    EXPECT_EQ("Tessel v0.33\n" + section("Memory Init") +
                  "Quickmemory Initialized (4k)\nMemory Initialized (limit 100k)\n" + g_closing +
                  section("Memory Remove") + "Quick Memory size was set to (4k)\n" +
                  "Maximum Quick Memory in use (0k)  Largest Frame (0k)\n" +
                  "Maximum Memory in use (1 / 4k)\n" + g_closing,
              read_file(path));
}

// Each misuse stops with its message and the calling statement's location.
std::string fatal(const std::string& message) {
    return "^\\[Internal error\\.\\.\\.\\] ABORT: " + message +
           "\n       \\(tests/host/core/memory_test\\.cpp/[0-9]+\\)\n$";
}

TEST(MemoryDeath, MisuseStopsTheProgram) {
    mem_init(MEM_LIMIT_MAXIMUM, 0);
    EXPECT_EXIT(MEM_ALLOC(0), testing::ExitedWithCode(1), fatal("Invalid Memory Size \\(0\\)"));
    EXPECT_EXIT(MEM_ALLOC(-3), testing::ExitedWithCode(1), fatal("Invalid Memory Size \\(-3\\)"));
    EXPECT_EXIT(
        {
            void* p = MEM_ALLOC(5);
            MEM_RETURN(p, 0);
        },
        testing::ExitedWithCode(1), fatal("Invalid Memory Size \\(0\\)"));
    EXPECT_EXIT(
        {
            void* p = MEM_ALLOC(5);
            MEM_RETURN(p, 5);
            MEM_RETURN(p, 5);
        },
        testing::ExitedWithCode(1), fatal("No Memory address to free \\(5 / 16\\)"));
    EXPECT_EXIT(
        {
            char* p = static_cast<char*>(MEM_ALLOC(5));
            p[-1] = 0;
            MEM_RETURN(p, 5);
        },
        testing::ExitedWithCode(1), fatal("Memory corrupt before \\(5\\)"));
    EXPECT_EXIT(
        {
            char* p = static_cast<char*>(MEM_ALLOC(5));
            p[8] = 0;
            MEM_RETURN(p, 5);
        },
        testing::ExitedWithCode(1), fatal("Memory corrupt after \\(5\\)"));
    EXPECT_EXIT(
        {
            void* p = MEM_ALLOC(5);
            MEM_RETURN(p, 64);
        },
        testing::ExitedWithCode(1), fatal("Memory corrupt after \\(64\\)"));
    EXPECT_EXIT(
        {
            void* p = MEM_ALLOC(64);
            MEM_RETURN(p, 5);
        },
        testing::ExitedWithCode(1), fatal("Memory corrupt after \\(5\\)"));
}

TEST(MemoryDeath, TheLimitAndTheQuickMemorySize) {
    EXPECT_EXIT(
        {
            mem_init(100, 0);
            MEM_ALLOC(96);
        },
        testing::ExitedWithCode(1), fatal("Memory exceeds limit \\(\\(0 \\+ 104\\) / 100\\)"));
    EXPECT_EXIT(
        {
            mem_init(1000, 0);
            MEM_ALLOC(500);
            MEM_ALLOC(500);
        },
        testing::ExitedWithCode(1), fatal("Memory exceeds limit \\(\\(508 \\+ 508\\) / 1000\\)"));
    EXPECT_EXIT(mem_init(MEM_LIMIT_MAXIMUM, MEM_LIMIT_MAXIMUM), testing::ExitedWithCode(1),
                "ABORT: Quickmemory size is invalid!\n       \\(src/core/memory\\.cpp/[0-9]+\\)");
}

} // namespace
