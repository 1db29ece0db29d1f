// One registration attempt against the maker's test server, which decodes
// each body with the maker's decoder and accepts only one that decodes.
#include "registration/submit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "net/maker.h"
#include "registration/submission.h"
#include "support/log_file.h"

namespace {

// A record as the program builds it: tagged fields, then scrambled.
std::vector<unsigned char> scrambled_record(int filler) {
    std::string text = "\x02"
                       "000v1.50 (Release)\x02"
                       "001Standalone\x02"
                       "101Acme\x02"
                       "102Tool\x02"
                       "209" +
                       std::string(static_cast<size_t>(filler), 'r') + "\x02" + "401" + "0";
    std::vector<unsigned char> record(text.begin(), text.end());
    registration_scramble(record.data(), static_cast<int>(record.size()));
    return record;
}

int submit(const std::string& path, const std::vector<unsigned char>& record) {
    std::string url = maker_url(path);
    return registration_submit(url.c_str(), 0, record.data(), static_cast<int>(record.size()));
}

class RegistrationSubmit : public testing::Test {
  protected:
    void TearDown() override { log_close(); }
};

TEST_F(RegistrationSubmit, TheWordCountsInAnyCaseAndSplitAcrossPieces) {
    // Record lengths that leave the last group with 1, 2 and 3 bytes.
    for (int filler : {0, 1, 2, 300}) {
        std::vector<unsigned char> record = scrambled_record(filler);
        EXPECT_EQ(1, submit("/register/accept", record)) << filler;
        EXPECT_EQ(1, submit("/register/lower", record)) << filler;
        EXPECT_EQ(1, submit("/register/split", record)) << filler;
    }
}

TEST_F(RegistrationSubmit, AnyOtherAnswerIsNotAcceptance) {
    std::vector<unsigned char> record = scrambled_record(10);
    EXPECT_EQ(0, submit("/register/refuse", record));
    EXPECT_EQ(0, submit("/nothing-here", record));
}

TEST_F(RegistrationSubmit, AnAnswerThatFillsTheReplyBufferEndsWithoutTheWord) {
    // 3 MiB of bytes that never spell the word.
    EXPECT_EQ(0, submit("/files/big.bin", scrambled_record(10)));
}

TEST_F(RegistrationSubmit, NoConnectionIsLoggedAndNothingIsAccepted) {
    std::string path = open_test_log("registration_submit_fail.log", LOG_FILE);
    std::vector<unsigned char> record = scrambled_record(10);
    EXPECT_EQ(0, registration_submit("http://127.0.0.1:1/register", 0, record.data(),
                                     static_cast<int>(record.size())));
    EXPECT_EQ("Contacting 'http://127.0.0.1/' '/register'\n"
              "Proxy Disabled (0x00000000) : None\n"
              "Unable to connect to machine 127.0.0.1:1 for URL 'http://127.0.0.1:1/register'\n",
              read_file(path));
}

} // namespace
