// Libraries for the host tests: each fake library exports what the test
// says and answers a set result code; every call is recorded in order.
#pragma once

#include <string>
#include <vector>

struct FakeLibrary {
    bool registers;   // exports DllRegisterServer
    bool unregisters; // exports DllUnregisterServer
    int result;       // what either entry point returns
};

// Forgets every library and call; loading anything else fails with 126
// (the module was not found).
void library_fake_reset();
void library_fake_add(const std::string& path, const FakeLibrary& library);

// "load PATH", "call PATH ENTRY", "free PATH", in call order.
const std::vector<std::string>& library_fake_calls();

// Libraries loaded and not yet freed.
int library_fake_loaded();
