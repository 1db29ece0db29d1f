#include "registration/sysinfo.h"

#include <cstring>

#include "core/format.h"
#include "core/log.h"
#include "core/text.h"
#include "driver/identity.h"
#include "driver/run_mode.h"
#include "registration/submission.h"

namespace {

const char* run_mode_text(int run_mode) {
    switch (run_mode) {
    case RUN_REGISTER_STANDALONE:
        return "Standalone";
    case RUN_REGISTER_INSTALLER:
        return "Installer";
    default:
        return "Unknown";
    }
}

const char* update_choice_text(int choice) {
    switch (choice) {
    case UPDATES_NO_ANSWER:
        return "No answer";
    case UPDATES_YES:
        return "Yes";
    case UPDATES_ALREADY:
        return "Already";
    case UPDATES_NO:
        return "No";
    default:
        return "Unknown";
    }
}

// Windows' platform identifiers, as the version query reports them.
enum { PLATFORM_WIN32S = 0, PLATFORM_WIN32_WINDOWS = 1, PLATFORM_WIN32_NT = 2 };

} // namespace

int sysinfo_add_field(SysinfoCursor* cursor, int tag, const char* format, ...) {
    CORE_ASSERT_POINTER(cursor);
    CORE_ASSERT_POINTER(format);
    const int head = 1 + REGISTRATION_TAG_DIGITS;
    // The mark, the tag, at least one value byte or the terminating zero.
    if (cursor->full || cursor->end - cursor->position < head + 1) {
        cursor->full = 1;
        return 1;
    }
    char* value = cursor->position + head;
    int room = static_cast<int>(cursor->end - value);
    char tag_text[8];
    text_format(tag_text, sizeof tag_text, "%c%.3d", REGISTRATION_FIELD_MARK, tag);
    memcpy(cursor->position, tag_text, head);
    va_list arguments;
    va_start(arguments, format);
    int length = format_text(value, room, format, arguments);
    va_end(arguments);
    if (length < 0 || length >= room) {
        *cursor->position = '\0';
        cursor->full = 1;
        return 1;
    }
    if (length == 0) {
        return 1; // the next field overwrites this tag
    }
    char* last = value + length;
    while (last > value && static_cast<unsigned char>(last[-1]) <= 0x20) {
        --last;
    }
    *last = '\0';
    cursor->position = last;
    return 1;
}

int sysinfo_windows_version(const SysinfoFacts* facts, char* buffer, int size) {
    CORE_ASSERT_POINTER(facts);
    CORE_ASSERT_POINTER(buffer);
    if (!facts->version_known) {
        return text_copy(buffer, size, "Unknown");
    }
    int major = facts->major_version;
    int minor = facts->minor_version;
    int build_low = static_cast<int>(facts->build_number & 0xFFFFu);
    int build = static_cast<int>(facts->build_number);
    const char* pack = facts->service_pack;
    switch (facts->platform) {
    case PLATFORM_WIN32S:
        return text_format(buffer, size, "Microsoft Windows 3.1 %d.%d.%d %s", major, minor,
                           build_low, pack);
    case PLATFORM_WIN32_WINDOWS:
        return text_format(buffer, size,
                           minor == 0 ? "Microsoft Windows 95 %d.%d.%d %s"
                                      : "Microsoft Windows 98 %d.%d.%d %s",
                           major, minor, build_low, pack);
    case PLATFORM_WIN32_NT:
        return text_format(buffer, size, "Microsoft Windows NT %d.%d.%d %s", major, minor, build,
                           pack);
    default:
        return text_format(buffer, size, "[%d] %d.%d.%d %s", facts->platform, major, minor, build,
                           pack);
    }
}

int sysinfo_format(const InstallState* state, const char* record_text,
                   const RegistrantDetails* details, const SysinfoFacts* facts, char* buffer,
                   int size, int* length) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(record_text);
    CORE_ASSERT_POINTER(details);
    CORE_ASSERT_POINTER(facts);
    CORE_ASSERT_POINTER(buffer);
    CORE_ASSERT_POINTER(length);
    SysinfoCursor cursor = {buffer, buffer + size, 0};
    SysinfoCursor* c = &cursor;
    sysinfo_add_field(c, 0, "v%s (%s)", PROGRAM_VERSION, PROGRAM_BUILD);
    sysinfo_add_field(c, 1, "%s", run_mode_text(state->run_mode));
    sysinfo_add_field(c, 2, "%s", record_text);
    sysinfo_add_field(c, 100, "%s", state->text);
    sysinfo_add_field(c, 101, "%s", state->company_name);
    sysinfo_add_field(c, 102, "%s", state->product_name);
    sysinfo_add_field(c, 103, "%s", state->product_version);

    sysinfo_add_field(c, 200, "%s", details->first_name);
    sysinfo_add_field(c, 201, "%s", details->last_name);
    sysinfo_add_field(c, 202, "%s", details->street_address);
    sysinfo_add_field(c, 203, "%s", details->city);
    sysinfo_add_field(c, 204, "%s", details->state);
    sysinfo_add_field(c, 205, "%s", details->country);
    sysinfo_add_field(c, 206, "%s", details->zip_code);
    sysinfo_add_field(c, 207, "%s", details->email);
    sysinfo_add_field(c, 208, "%s", details->phone);
    sysinfo_add_field(c, 209, "%s", details->referral);

    const unsigned char* address = facts->address;
    sysinfo_add_field(c, 300, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    sysinfo_add_field(c, 301, "%s", facts->host_name);
    if (facts->processor_key_open) {
        sysinfo_add_field(c, 302, "%s", facts->processor_identifier);
        sysinfo_add_field(c, 303, "%s", facts->processor_mhz);
        sysinfo_add_field(c, 304, "%s", facts->processor_mmx);
        sysinfo_add_field(c, 305, "%s", facts->processor_vendor);
    }
    sysinfo_add_field(c, 306, "%d,%d", facts->screen_width, facts->screen_height);
    sysinfo_add_field(c, 307, "%d", facts->bits_per_pixel);
    if (facts->windows_key_open) {
        sysinfo_add_field(c, 308, "%s", facts->registered_owner);
        sysinfo_add_field(c, 309, "%s", facts->registered_organization);
    }
    char version[SYSINFO_VALUE_SIZE];
    sysinfo_windows_version(facts, version, sizeof version);
    sysinfo_add_field(c, 310, "%s", version);
    sysinfo_add_field(c, 311, "%dk", static_cast<int>(facts->physical_bytes >> 10));
    sysinfo_add_field(c, 312, "%dk", static_cast<int>(facts->page_file_bytes >> 10));

    sysinfo_add_field(c, 400, "%s", update_choice_text(details->update_choice));
    sysinfo_add_field(c, 401, "%d", state->list_server_number);
    sysinfo_add_field(c, 402, "%s", state->list_server_name);
    sysinfo_add_field(c, 403, "%s", state->list_server_text);

    *length = static_cast<int>(cursor.position - buffer);
    return 1;
}
