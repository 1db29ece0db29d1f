// What the registration tests share: one registrant who filled every field,
// one product with a mailing list, and the body the program sends for a record.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "registration/registrant.h"
#include "script/install_state.h"

// Jo Smith of Springfield, every field filled, with the given update choice.
RegistrantDetails sample_registrant(int update_choice = UPDATES_YES);

// Acme Tool 2.0 in the standalone registration, mailing list 12 "News" "Weekly".
InstallState sample_install_state();

typedef std::vector<std::pair<int, std::string>> RecordFields;

// The unscrambled record of these tagged fields, in their order.
std::string record_of(const RecordFields& fields);

// The submission body the program sends for this unscrambled record.
std::string sent_body(std::string record);
