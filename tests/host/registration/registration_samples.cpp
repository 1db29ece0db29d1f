#include "registration/registration_samples.h"

#include <cstdio>
#include <cstring>

#include "driver/run_mode.h"
#include "registration/submission.h"

RegistrantDetails sample_registrant(int update_choice) {
    RegistrantDetails d = {};
    d.update_choice = update_choice;
    strcpy(d.first_name, "Jo");
    strcpy(d.last_name, "Smith");
    strcpy(d.street_address, "1 Main Street");
    strcpy(d.city, "Springfield");
    strcpy(d.state, "IL");
    strcpy(d.country, "USA");
    strcpy(d.zip_code, "62701");
    strcpy(d.email, "jo@example.com");
    strcpy(d.phone, "555-555-5555");
    strcpy(d.referral, "A friend");
    return d;
}

InstallState sample_install_state() {
    InstallState state = {};
    state.run_mode = RUN_REGISTER_STANDALONE;
    strcpy(state.company_name, "Acme");
    strcpy(state.product_name, "Tool");
    strcpy(state.product_version, "2.0");
    state.list_server_number = 12;
    strcpy(state.list_server_name, "News");
    strcpy(state.list_server_text, "Weekly");
    return state;
}

std::string record_of(const RecordFields& fields) {
    std::string record;
    char tag[8];
    for (const auto& f : fields) {
        snprintf(tag, sizeof tag, "\x02%.3d", f.first);
        record += tag + f.second;
    }
    return record;
}

std::string sent_body(std::string record) {
    auto* bytes = reinterpret_cast<unsigned char*>(&record[0]);
    int count = static_cast<int>(record.size());
    registration_scramble(bytes, count);
    std::vector<char> body(static_cast<size_t>(registration_body_size(count)));
    int length = 0;
    registration_body_compose(bytes, count, body.data(), static_cast<int>(body.size()), &length);
    return std::string(body.data(), static_cast<size_t>(length));
}
