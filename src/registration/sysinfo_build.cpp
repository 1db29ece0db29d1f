// The record of this registration: the machine's facts gathered now, with
// the program-wide registrant details.
#include "registration/registrant.h"
#include "registration/sysinfo.h"

int sysinfo_build(const InstallState* state, const char* record_text, char* buffer, int size,
                  int* length) {
    SysinfoFacts facts;
    sysinfo_gather(&facts);
    return sysinfo_format(state, record_text, &g_registrant, &facts, buffer, size, length);
}
