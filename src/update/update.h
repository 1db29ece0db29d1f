// The electronic update: asks, fetches the maker's update information
// (through the system proxy first, then directly, then after a question),
// compares versions and offers, downloads and starts the newer installer.
#pragma once

struct InstallState;

enum { UPDATE_BUFFER_SIZE = 1024000 };

// Run by DONE in update mode. Always returns 1: a failure only ends the update.
int update_run(void* owner_window, InstallState* state);

// One GET of the URL into the buffer, zero-terminated. 1 when at least one
// receive succeeded.
int update_fetch_info(const char* url, int use_proxy, char* buffer, int capacity);

// Acts on the product's record: the up-to-date message or the new-version
// dialog. 0 when the answer holds no record for the product.
int update_compare(InstallState* state, const char* answer);
