// Failed sign-ins, slowed down by key (an account's name, an address). The
// first THROTTLE_FREE failures of a key cost nothing; after them the key must
// wait THROTTLE_FIRST seconds from its last failure before it is heard again,
// twice as long after each further failure, at most THROTTLE_LONGEST. A key is
// forgotten on a success and THROTTLE_FORGET seconds after its last failure.
// Safe from any thread.
#pragma once

#include <string>

enum {
    THROTTLE_FREE = 5,
    THROTTLE_FIRST = 15,
    THROTTLE_LONGEST = 5 * 60,
    THROTTLE_FORGET = 15 * 60,
    THROTTLE_KEYS = 100000, // beyond, the keys whose last failure is oldest go
};

struct Throttle;

Throttle* throttle_new();
void throttle_delete(Throttle* throttle);

// Whole seconds that `key` must still wait at `now` (seconds), 0 when it may try.
long throttle_wait(Throttle* throttle, const std::string& key, double now);

void throttle_failed(Throttle* throttle, const std::string& key, double now);
void throttle_succeeded(Throttle* throttle, const std::string& key);
