// The progress operations of platform/window.h for the host tests: every
// call is recorded in order.
#pragma once

#include <vector>

struct ProgressEvent {
    enum Kind { UPDATE, SHOW } kind;
    double percentage; // UPDATE
    int flag;          // SHOW
};

void window_fake_reset();
const std::vector<ProgressEvent>& window_fake_events();
