// The progress operations of platform/window.h for the host tests: every call
// is recorded, one line each ("show 1", or the percentage as std::to_string).
#pragma once

#include <string>

std::string& window_fake_calls();
