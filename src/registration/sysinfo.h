// The system information record sent with a registration: which engine and
// product asked, the registrant's details, the machine and the mailing-list
// settings, as tagged fields (layout in registration/submission.h).
#pragma once

#include <cstdarg>

#include "registration/registrant.h"
#include "script/install_state.h"

enum {
    SYSINFO_VALUE_SIZE = 320,
    SYSINFO_HOST_NAME_SIZE = 256,
    SYSINFO_SERVICE_PACK_SIZE = 128,
};

// What the machine says about itself, gathered by sysinfo_gather. Registry
// values read "Unknown" when their key opened but they were missing.
struct SysinfoFacts {
    unsigned char address[4]; // first address of the machine's own name; zeros when unresolved
    char host_name[SYSINFO_HOST_NAME_SIZE]; // empty when the machine has no name
    int processor_key_open;
    char processor_identifier[SYSINFO_VALUE_SIZE];
    char processor_mhz[SYSINFO_VALUE_SIZE]; // raw bytes up to the first zero byte
    char processor_mmx[SYSINFO_VALUE_SIZE];
    char processor_vendor[SYSINFO_VALUE_SIZE];
    int screen_width;
    int screen_height;
    int bits_per_pixel;
    int windows_key_open;
    char registered_owner[SYSINFO_VALUE_SIZE];
    char registered_organization[SYSINFO_VALUE_SIZE];
    int version_known; // 0 when the version query failed
    int platform;      // VER_PLATFORM_*
    int major_version;
    int minor_version;
    unsigned build_number;
    char service_pack[SYSINFO_SERVICE_PACK_SIZE];
    unsigned physical_bytes;
    unsigned page_file_bytes;
};

// Where the next field goes. A field that does not fit ends the record:
// `full` is set and no further field is added.
struct SysinfoCursor {
    char* position;
    char* end;
    int full;
};

// Appends one field: the mark, the tag in "%.3d" and the formatted value
// without its trailing bytes 0x00 to 0x20. An empty value adds nothing; a
// value of blanks only leaves the bare tag. Returns 1.
int sysinfo_add_field(SysinfoCursor* cursor, int tag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Field 310: the Windows version text.
int sysinfo_windows_version(const SysinfoFacts* facts, char* buffer, int size);

// Fills `buffer` (`size` bytes) with the record for the given facts and sets
// `*length` to its length, without the terminating zero. Returns 1.
int sysinfo_format(const InstallState* state, const char* record_text,
                   const RegistrantDetails* details, const SysinfoFacts* facts, char* buffer,
                   int size, int* length);

// Asks the machine for the facts of the record (sysinfo_win.cpp; a fake on
// the host). Returns 1.
int sysinfo_gather(SysinfoFacts* facts);

// Gathers the facts and formats the record of `state`, REGISTER's free text
// and the program-wide registrant details. Returns 1.
int sysinfo_build(const InstallState* state, const char* record_text, char* buffer, int size,
                  int* length);
