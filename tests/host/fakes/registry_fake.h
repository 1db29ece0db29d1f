// An in-memory registry behind platform/registry.h: keys are found ignoring case, as
// the registry does; values enumerate in the order they were first written. Creating a
// key creates the keys above it, and a key with subkeys is not deleted, as on Windows NT.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

// Data of path values that the code page cannot name and that have no short
// form: reg_get_path refuses them as the Windows build does. Emptied by the reset.
extern std::vector<std::string> registry_fake_unnamed_paths;

// Forgets every key; handles still open count as leaked.
void registry_fake_reset();

// Handles opened or created and not yet closed.
int registry_fake_open_keys();

// Every key of the root, sorted, one a line: its path in small letters, then ": "
// and its values' names separated by ',' when it has values.
std::string registry_fake_keys(int root);
