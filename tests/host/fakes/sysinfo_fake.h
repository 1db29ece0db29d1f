// Stand-in for sysinfo_gather (registration/sysinfo.h): a machine whose
// facts the test sets.
#pragma once

#include "registration/sysinfo.h"

// The facts that sysinfo_gather hands out from now on.
SysinfoFacts& sysinfo_fake_facts();
