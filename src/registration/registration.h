// The registration flow that REGISTER starts in the two registration modes.
#pragma once

#include "script/install_state.h"

// Asks `question`, shows the form (and the e-mail verification when the user
// wants update notices), builds, scrambles and posts the system information
// record to `url` (through the proxy, then directly, then after a question),
// and on acceptance notes "Registered Version" under the product's key and
// thanks the user. `record_text` travels as field 002. Returns 1 when the
// registration was sent and accepted, 0 when the user declined or every
// attempt failed.
int registration_run(void* owner_window, const char* question, const char* url,
                     const char* record_text, InstallState* state);
