// An in-memory registry behind platform/registry.h: keys are found ignoring case, as
// the registry does; values enumerate in the order they were first written.
#pragma once

#include "platform/registry.h"

// Forgets every key; handles still open count as leaked.
void registry_fake_reset();

// Handles opened or created and not yet closed.
int registry_fake_open_keys();
