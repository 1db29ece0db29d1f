// make_registrations COUNT FILE [TAG=VALUE ...]: writes COUNT distinct
// registration bodies to FILE, one a line, as the program sends them, so that
// the server's load, durability and console runs post real submissions. Body i
// is registrant "Reg i" with e-mail "reg<i>@example.com" (field 207), which
// tells the stored rows apart; its machine is one of three Windows versions and
// two processors, and its answer to the mailing list one of three, by i. A
// TAG=VALUE sets that field in every body instead: 101 to 103 (the product)
// or 200 to 209 (the registrant).
// Bodies hold no line breaks: the head is hexadecimal digits and the version
// text, the encoded text is "!" to "`".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "registration/registrant.h"
#include "registration/submission.h"
#include "registration/sysinfo.h"
#include "script/install_state.h"
#include "tests/host/registration/registration_samples.h"

namespace {

SysinfoFacts machine(long i) {
    struct {
        int major, minor;
        unsigned build;
        const char* pack;
    } const windows[] = {{10, 0, 19045, ""}, {10, 0, 22631, ""}, {6, 1, 7601, "Service Pack 1"}};
    const char* const processors[][2] = {{"x86 Family 6 Model 158 Stepping 10", "GenuineIntel"},
                                         {"AMD64 Family 23 Model 113 Stepping 0", "AuthenticAMD"}};
    SysinfoFacts facts = {};
    const unsigned char address[4] = {127, 0, 0, 1};
    memcpy(facts.address, address, sizeof address);
    strcpy(facts.host_name, "bench");
    facts.processor_key_open = 1;
    strcpy(facts.processor_identifier, processors[i % 2][0]);
    strcpy(facts.processor_mhz, "3000");
    strcpy(facts.processor_vendor, processors[i % 2][1]);
    facts.screen_width = 1024;
    facts.screen_height = 768;
    facts.bits_per_pixel = 32;
    facts.version_known = 1;
    facts.platform = 2;
    facts.major_version = windows[i % 3].major;
    facts.minor_version = windows[i % 3].minor;
    facts.build_number = windows[i % 3].build;
    strcpy(facts.service_pack, windows[i % 3].pack);
    facts.physical_bytes = 1u << 30;
    facts.page_file_bytes = 1u << 30;
    return facts;
}

// Sets TAG=VALUE `setting` in the state or the details; false for a tag that cannot be set.
bool set_field(InstallState* state, RegistrantDetails* details, const char* setting) {
    struct {
        int tag;
        char* text;
        size_t size;
    } const fields[] = {
        {101, state->company_name, sizeof state->company_name},
        {102, state->product_name, sizeof state->product_name},
        {103, state->product_version, sizeof state->product_version},
        {200, details->first_name, sizeof details->first_name},
        {201, details->last_name, sizeof details->last_name},
        {202, details->street_address, sizeof details->street_address},
        {203, details->city, sizeof details->city},
        {204, details->state, sizeof details->state},
        {205, details->country, sizeof details->country},
        {206, details->zip_code, sizeof details->zip_code},
        {207, details->email, sizeof details->email},
        {208, details->phone, sizeof details->phone},
        {209, details->referral, sizeof details->referral},
    };
    const char* value = strchr(setting, '=');
    for (const auto& field : fields) {
        if (value && field.tag == atoi(setting) && strlen(value + 1) < field.size) {
            strcpy(field.text, value + 1);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    long count = argc >= 3 ? strtol(argv[1], nullptr, 10) : 0;
    FILE* out = count > 0 ? fopen(argv[2], "wb") : nullptr;
    if (!out) {
        fprintf(stderr, "usage: make_registrations COUNT FILE [TAG=VALUE ...]\n");
        return 2;
    }
    std::vector<char> record(REGISTRATION_RECORD_SIZE);
    std::vector<char> body(static_cast<size_t>(registration_body_size(REGISTRATION_RECORD_LIMIT)));
    const int choices[] = {UPDATES_YES, UPDATES_NO, UPDATES_ALREADY};
    for (long i = 0; i < count; ++i) {
        InstallState state = sample_install_state();
        RegistrantDetails details = {
            choices[i % 3], "Reg",   "", "1 Main Street", "Springfield", "IL",
            "USA",          "62701", "", "555-555-5555",  "A benchmark"};
        snprintf(details.last_name, sizeof details.last_name, "%ld", i);
        snprintf(details.email, sizeof details.email, "reg%ld@example.com", i);
        for (int a = 3; a < argc; ++a) {
            if (!set_field(&state, &details, argv[a])) {
                fprintf(stderr, "make_registrations: cannot set '%s'\n", argv[a]);
                return 2;
            }
        }
        SysinfoFacts facts = machine(i);
        int length = 0;
        sysinfo_format(&state, "", &details, &facts, record.data(), REGISTRATION_RECORD_SIZE,
                       &length);
        registration_scramble(reinterpret_cast<unsigned char*>(record.data()), length);
        int body_length = 0;
        registration_body_compose(reinterpret_cast<const unsigned char*>(record.data()), length,
                                  body.data(), static_cast<int>(body.size()), &body_length);
        fwrite(body.data(), 1, static_cast<size_t>(body_length), out);
        fputc('\n', out);
    }
    return fclose(out) == 0 ? 0 : 1;
}
