// The folder queries of script/paths.h for the host tests: each answers what
// the test set, normalised as the system's answer would be.
#pragma once

struct PathsFakeFolders {
    const char* current;
    const char* temp;
    const char* windows;
    const char* system;
    const char* module;
};

// The folders of a typical machine: C:\Work\, C:\Temp\, C:\Windows\,
// C:\Windows\System32\ and C:\Acme\.
void paths_fake_reset();
void paths_fake_set(const PathsFakeFolders& folders);
