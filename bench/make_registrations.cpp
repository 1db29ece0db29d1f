// make_registrations COUNT FILE: writes COUNT distinct registration bodies to
// FILE, one a line, as the program sends them, so that the server's load and
// durability runs post real submissions. Body i is registrant "Reg i" with
// e-mail "reg<i>@example.com" (field 207), which tells the stored rows apart.
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

SysinfoFacts machine() {
    SysinfoFacts facts = {};
    const unsigned char address[4] = {127, 0, 0, 1};
    memcpy(facts.address, address, sizeof address);
    strcpy(facts.host_name, "bench");
    facts.screen_width = 1024;
    facts.screen_height = 768;
    facts.bits_per_pixel = 32;
    facts.version_known = 1;
    facts.platform = 2;
    facts.major_version = 10;
    facts.build_number = 19045;
    facts.physical_bytes = 1u << 30;
    facts.page_file_bytes = 1u << 30;
    return facts;
}

} // namespace

int main(int argc, char** argv) {
    long count = argc == 3 ? strtol(argv[1], nullptr, 10) : 0;
    FILE* out = count > 0 ? fopen(argv[2], "wb") : nullptr;
    if (!out) {
        fprintf(stderr, "usage: make_registrations COUNT FILE\n");
        return 2;
    }
    InstallState state = sample_install_state();
    SysinfoFacts facts = machine();
    std::vector<char> record(REGISTRATION_RECORD_SIZE);
    std::vector<char> body(static_cast<size_t>(registration_body_size(REGISTRATION_RECORD_LIMIT)));
    for (long i = 0; i < count; ++i) {
        RegistrantDetails details = {UPDATES_YES, "Reg",   "", "1 Main Street", "Springfield", "IL",
                                     "USA",       "62701", "", "555-555-5555",  "A benchmark"};
        snprintf(details.last_name, sizeof details.last_name, "%ld", i);
        snprintf(details.email, sizeof details.email, "reg%ld@example.com", i);
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
