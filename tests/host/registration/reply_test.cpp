#include "registration/submit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Feeds the reply in pieces as the receive loop does; 1 once a piece completes the word.
int accepted(const std::vector<std::string>& pieces) {
    std::string reply;
    for (const std::string& piece : pieces) {
        int searched = static_cast<int>(reply.size());
        reply += piece;
        if (registration_reply_accepted(reply.c_str(), searched, static_cast<int>(reply.size()))) {
            return 1;
        }
    }
    return 0;
}

TEST(RegistrationReply, WordInAnyCaseAnywhere) {
    struct Case {
        std::vector<std::string> pieces;
        int accepted;
    } cases[] = {
        {{"HTTP/1.0 200 OK\r\n\r\nRegSuccess"}, 1},
        {{"HTTP/1.0 200 OK\r\nX-Result: regsuccess\r\n\r\n"}, 1},
        {{"REGSUCCESS"}, 1},
        {{"HTTP/1.0 200 OK\r\n\r\nReg", "Success\r\n"}, 1},
        {{"R", "e", "g", "S", "u", "c", "c", "e", "s", "s"}, 1},
        {{"HTTP/1.0 200 OK\r\n\r\nRegSucces"}, 0},
        {{"HTTP/1.0 200 OK\r\n\r\nReg Success"}, 0},
        {{"HTTP/1.0 500 Error\r\n\r\n"}, 0},
        {{std::string("binary\0\0 then RegSuccess", 24)}, 1},
        {{}, 0},
        {{""}, 0},
    };
    for (const Case& c : cases) {
        std::string all;
        for (const std::string& p : c.pieces) {
            all += p + "|";
        }
        EXPECT_EQ(c.accepted, accepted(c.pieces)) << all;
    }
}

TEST(RegistrationReply, OnlyTheGivenLengthIsSearched) {
    const char reply[] = "xxRegSuccess";
    EXPECT_EQ(0, registration_reply_accepted(reply, 0, 11));
    EXPECT_EQ(1, registration_reply_accepted(reply, 0, 12));
    EXPECT_EQ(1, registration_reply_accepted(reply, 11, 12)); // the word ends in the new byte
    EXPECT_EQ(0, registration_reply_accepted(reply, 12, 12)); // nothing new
}

} // namespace
