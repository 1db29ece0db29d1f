// What the registration tests share: one registrant who filled every field
// and one product with a mailing list.
#pragma once

#include <cstring>

#include "driver/run_mode.h"
#include "registration/registrant.h"
#include "script/install_state.h"

// Jo Smith of Springfield, every field filled, with the given update choice.
inline RegistrantDetails sample_registrant(int update_choice = UPDATES_YES) {
    return {update_choice, "Jo",    "Smith",          "1 Main Street", "Springfield", "IL",
            "USA",         "62701", "jo@example.com", "555-555-5555",  "A friend"};
}

// Acme Tool 2.0 in the standalone registration, mailing list 12 "News" "Weekly".
inline InstallState sample_install_state() {
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
