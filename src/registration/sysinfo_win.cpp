// What the machine says about itself: its network name and address, the
// processor and Windows keys, the screen, the version and the memory.
#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/text.h"
#include "net/socket.h"
#include "platform/registry.h"
#include "registration/sysinfo.h"

#define SYSINFO_PROCESSOR_KEY "Hardware\\Description\\System\\CentralProcessor\\0"
#define SYSINFO_WINDOWS_KEY "Software\\Microsoft\\Windows\\CurrentVersion"

namespace {

// Reads each named value of the key at `path` into its text: any registry
// type reads as its bytes up to the first zero byte, so a numeric "~MHz"
// yields raw bytes, not digits, and a value that is missing reads "Unknown".
// Returns 0, reading nothing, when the key does not open.
template <int N>
int read_values(const char* path, const char* const (&names)[N], char* const (&texts)[N]) {
    RegKey key = nullptr;
    if (!reg_open_key(&key, REG_ROOT_LOCAL_MACHINE, path)) {
        return 0;
    }
    for (int i = 0; i < N; ++i) {
        if (!reg_get_string(key, names[i], texts[i], SYSINFO_VALUE_SIZE)) {
            text_copy(texts[i], SYSINFO_VALUE_SIZE, "Unknown");
        }
    }
    reg_close_key(&key);
    return 1;
}

void gather_registry(SysinfoFacts* facts) {
    const char* const processor_names[] = {"Identifier", "~MHz", "MMXIdentifier",
                                           "VendorIdentifier"};
    char* const processor_texts[] = {facts->processor_identifier, facts->processor_mhz,
                                     facts->processor_mmx, facts->processor_vendor};
    facts->processor_key_open =
        read_values(SYSINFO_PROCESSOR_KEY, processor_names, processor_texts);
    const char* const owner_names[] = {"RegisteredOwner", "RegisteredOrganization"};
    char* const owner_texts[] = {facts->registered_owner, facts->registered_organization};
    facts->windows_key_open = read_values(SYSINFO_WINDOWS_KEY, owner_names, owner_texts);
}

void gather_screen(SysinfoFacts* facts) {
    HDC screen = GetDC(nullptr);
    facts->screen_width = GetDeviceCaps(screen, HORZRES);
    facts->screen_height = GetDeviceCaps(screen, VERTRES);
    facts->bits_per_pixel = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
}

void gather_version(SysinfoFacts* facts) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        return;
    }
    facts->version_known = 1;
    facts->platform = static_cast<int>(version.dwPlatformId);
    facts->major_version = static_cast<int>(version.dwMajorVersion);
    facts->minor_version = static_cast<int>(version.dwMinorVersion);
    facts->build_number = version.dwBuildNumber;
    text_copy(facts->service_pack, sizeof facts->service_pack, version.szCSDVersion);
}

void gather_memory(SysinfoFacts* facts) {
    MEMORYSTATUS memory;
    memset(&memory, 0, sizeof memory);
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    facts->physical_bytes = static_cast<unsigned>(memory.dwTotalPhys);
    facts->page_file_bytes = static_cast<unsigned>(memory.dwTotalPageFile);
}

} // namespace

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version query's record as Windows 95 knew it");
#ifndef _WIN64
static_assert(sizeof(MEMORYSTATUS) == 32, "the memory query's record of 32 bytes");
#endif

int sysinfo_gather(SysinfoFacts* facts) {
    CORE_ASSERT_POINTER(facts);
    memset(facts, 0, sizeof *facts);
    HostRecord host;
    memset(&host, 0, sizeof host);
    if (sock_local_host(&host)) {
        memcpy(facts->address, host.address, sizeof facts->address);
        text_copy(facts->host_name, sizeof facts->host_name, host.name);
    }
    gather_registry(facts);
    gather_screen(facts);
    gather_version(facts);
    gather_memory(facts);
    return 1;
}
