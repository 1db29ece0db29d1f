#include "fakes/sysinfo_fake.h"

namespace {

SysinfoFacts g_facts;

} // namespace

SysinfoFacts& sysinfo_fake_facts() {
    return g_facts;
}

int sysinfo_gather(SysinfoFacts* facts) {
    *facts = g_facts;
    return 1;
}
