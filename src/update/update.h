// The electronic update: asks, fetches the maker's update information
// (through the system proxy first, then directly, then after a question),
// compares versions and offers, downloads and starts the newer installer.
#pragma once

struct InstallState;

enum { UPDATE_BUFFER_SIZE = 1024000 };

// The outcome of an update, the exit code of "-Update -Quiet".
enum {
    UPDATE_EXIT_CURRENT = 0,       // the product is current or was updated
    UPDATE_EXIT_UNREACHABLE = 5,   // no server answered, or it had no record for the product
    UPDATE_EXIT_NOT_INSTALLED = 6, // a newer version was not installed: unsigned or not verified
    UPDATE_EXIT_FAILED = 7,        // the new version's installer failed
};

// Run by DONE in update mode. Always returns 1: a failure only ends the update.
int update_run(void* owner_window, InstallState* state);

// One GET of the URL into the buffer, zero-terminated. 1 when at least one
// receive succeeded.
int update_fetch_info(const char* url, int use_proxy, char* buffer, int capacity);

// Acts on the product's record: the up-to-date message or the new-version
// dialog. 0 when the answer holds no record for the product.
int update_compare(InstallState* state, const char* answer);
