// The portable registration parts: form checks, the record, its scrambling and encoding, the reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "registration/email.h"
#include "registration/form_check.h"
#include "registration/registration_samples.h"
#include "registration/submission.h"
#include "registration/submit.h"
#include "registration/sysinfo.h"

namespace {

TEST(RegistrationForm, EmailAddressesAndFilledFields) {
    // clang-format off
    std::tuple<const char*, int> emails[] = {
        {"jo@mail.example.com", 1}, {"j@a.bc", 1}, {"j@a.b", 0}, {"jo@host9.example.com", 1},
        {"jo@example.c0m", 0}, {"jo@10.0.0.1", 0}, {"jo1@example.com", 1}, {"@example.com", 0},
        {"jo@.example.com", 0}, {"jo..x@example.com", 0}, {"jo@example..com", 0}, {"jo@ex@ample.com", 0},
        {"jo@ex+ample.com", 0}, {"jo@ex_ample.com", 0}, {"jo @example.com", 0}, {"j\xE9@example.com", 0},
        {".jo@example.com", 1}, {"jo.@example.com", 1}, {"j+o_x@example.com", 1}, {"-jo@-ex-ample-.c-om", 1},
        {"jo@example.com.", 1}, {"jo@examplecom", 0}, {"jo.x@examplecom", 0}, {"jo@", 0}, {"", 0}};
    // clang-format on
    for (auto [text, valid] : emails) {
        EXPECT_EQ(valid, email_address_valid(text)) << text;
    }
    // Every field must be filled; blanks count. The order of the checks and
    // their boxes are checked in the registration scenarios.
    RegistrantDetails d = sample_registrant();
    EXPECT_EQ(nullptr, registration_form_problem(&d));
    for (char* field : {d.first_name, d.last_name, d.street_address, d.city, d.state, d.country,
                        d.zip_code, d.phone, d.referral, d.email}) {
        RegistrantDetails saved = d;
        field[0] = '\0';
        EXPECT_STREQ("All fields must be filled in correctly.", registration_form_problem(&d));
        d = saved;
    }
    strcpy(d.city, " ");
    EXPECT_EQ(nullptr, registration_form_problem(&d));
}

TEST(RegistrationReply, TheWordInAnyCaseEndingInWhatArrived) {
    // clang-format off
    std::tuple<std::string, int, int> cases[] = { // reply, bytes searched before, accepted
        {"HTTP/1.0 200 OK\r\n\r\nRegSuccess", 0, 1}, {"X: regsuccess\r\n", 0, 1}, {"xxRegSuccess", 11, 1},
        {"xxRegSuccess", 12, 0}, {"xxREGSUCCES", 0, 0}, {"Reg Success", 0, 0}, {"", 0, 0},
        {std::string("bin\0\0 RegSuccess", 16), 0, 1}};
    // clang-format on
    for (const auto& [reply, searched, accepted] : cases) {
        EXPECT_EQ(accepted, registration_reply_accepted(reply.c_str(), searched,
                                                        static_cast<int>(reply.size())))
            << reply << " " << searched;
    }
}

std::string encode(const std::string& input, int capacity = 1000) {
    std::vector<char> output(static_cast<size_t>(capacity), 'x');
    int written = capacity;
    if (!registration_encode(reinterpret_cast<const unsigned char*>(input.data()),
                             static_cast<int>(input.size()), output.data(), &written)) {
        return "<refused> " + std::string(output.data(), output.size());
    }
    EXPECT_EQ(static_cast<int>(input.size() + 2) / 3 * 4 + 8, written);
    return output.data();
}

TEST(RegistrationEncode, KnownVectorsTheBodyAndTheScramble) {
    // clang-format off
    std::tuple<std::string, const char*> cases[] = {
        {"", "00000000"}, {"\xFF", "00000001`Q!!"}, {"\xFF\xFF", "00000002``]!"}, {"abc", "0000000397*D"},
        {std::string(3, '\0'), "00000003!!!!"}, {"\xFF\xFF\xFF", "00000003````"},
        {"abcd", "0000000497*D:!!!"}, {"abcdef", "0000000697*D:'6G"},
        {std::string(16, 'z'), "00000010?HJ[?HJ[?HJ[?HJ[?HJ[?A!!"}};
    // clang-format on
    for (const auto& [input, encoded] : cases) {
        EXPECT_EQ(encoded, encode(input)) << input.size() << " bytes";
    }
    EXPECT_EQ("<refused> " + std::string(12, 'x'), encode("abc", 12)); // no room for the zero
    char body[64];
    int length = 0;
    ASSERT_EQ(1, registration_body_compose(reinterpret_cast<const unsigned char*>("abc"), 3, body,
                                           registration_body_size(3), &length));
    EXPECT_EQ("00000032041.50000000030000000C7CDCC7D60000000397*D", std::string(body, length));

    std::vector<unsigned char> record(REGISTRATION_RECORD_LIMIT);
    registration_scramble(record.data(), static_cast<int>(record.size()));
    EXPECT_EQ((std::vector<unsigned char>{0x00, 0x9E, 0x3C, 0xDA, 0x78, 0x17, 0xB5, 0x53}),
              std::vector<unsigned char>(record.begin(), record.begin() + 8));
    EXPECT_EQ((20478LL * 94933 / 600) & 0xFF, record.back()); // no 32-bit overflow
    registration_scramble(record.data(), static_cast<int>(record.size()));
    EXPECT_EQ(std::vector<unsigned char>(record.size()), record);
}

struct Machine {
    InstallState state = sample_install_state();
    RegistrantDetails details = sample_registrant();
    // clang-format off
    SysinfoFacts facts = {{192, 168, 1, 20}, "desk", 1, "x86 Family 6 Model 8", "\xF4\x01", "Unknown",
                          "GenuineIntel", 1024, 768, 16, 1, "Jo Smith", "Unknown", 1, 2, 5, 1, 2600,
                          "Service Pack 3", 268435456u, 402653184u};
    // clang-format on
    // The record with '~' for the field mark.
    std::string record(int size = 20480) {
        std::vector<char> buffer(static_cast<size_t>(size));
        int length = -1;
        EXPECT_EQ(
            1, sysinfo_format(&state, "Free text", &details, &facts, buffer.data(), size, &length));
        std::string text(buffer.data(), static_cast<size_t>(length));
        std::replace(text.begin(), text.end(), '\x02', '~');
        return text;
    }
};

TEST(RegistrationRecord, EveryFieldInOrderAndOnlyWholeFieldsWhenCut) {
    Machine m;
    strcpy(m.state.text, "REG");
    m.state.product_version[0] = '\0'; // an empty value leaves no tag
    strcpy(m.details.city, "   ");     // blanks only give a bare tag, trailing blanks go
    strcpy(m.details.state, " IL\t\r\n");
    std::string whole = m.record();
    EXPECT_EQ("~000v1.50 (Release)~001Standalone~002Free text~100REG~101Acme~102Tool"
              "~200Jo~201Smith~2021 Main Street~203~204 "
              "IL~205USA~20662701~207jo@example.com~208555-555-5555"
              "~209A friend~300192.168.1.20~301desk~302x86 Family 6 Model 8~303\xF4~304Unknown"
              "~305GenuineIntel~3061024,768~30716~308Jo Smith~309Unknown"
              "~310Microsoft Windows NT 5.1.2600 Service Pack 3~311262144k~312393216k~400Yes"
              "~40112~402News~403Weekly",
              whole);
    for (int size = 1; size < static_cast<int>(whole.size()) + 2; ++size) {
        std::string cut = m.record(size); // ASan catches any write past the buffer
        ASSERT_LT(cut.size(), static_cast<size_t>(size));
        EXPECT_EQ(whole.substr(0, cut.size()), cut);
        EXPECT_TRUE(cut.size() == whole.size() || whole[cut.size()] == '~') << size;
    }
}

} // namespace
