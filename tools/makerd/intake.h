// A registration as it arrives: the body decoded by regdecode_body, then stored
// by the writer. The route, the tests and the fuzz target all go through here.
#pragma once

#include <string>

#include "writer.h"

enum {
    INTAKE_BODY_LIMIT = 64 * 1024, // the longest body taken; the program's are below 28 KiB
};

enum IntakeStatus {
    INTAKE_STORED,
    INTAKE_DUPLICATE, // the same bytes were stored before: answered as a success again
    INTAKE_REFUSED,   // malformed: nothing stored, the decoder's reason in `reason`
    INTAKE_FAILED,    // well-formed but not stored: the database failed
};

struct IntakeOutcome {
    IntakeStatus status;
    std::string reason;
};

// Decodes `body` and stores it with the time of this call and `peer`.
IntakeOutcome intake_register(Writer* writer, const std::string& body, const std::string& peer);
