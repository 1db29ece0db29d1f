// The checks of a script that the program cannot report at the user's: each
// warning names the command's line and says what will happen there.
#pragma once

#include <string>
#include <vector>

#include "source.h"

// `lines` holds each command's line in the source (or its number in a
// stored script). Warnings read "NAME:LINE: what is wrong: what happens".
std::vector<std::string> ffspack_check_script(const std::string& name,
                                              const std::vector<ScriptCommand>& commands,
                                              const std::vector<int>& lines);

// Whether a file name, without its path macros, is absolute or holds "..":
// only a path macro may lead a name out of the product's folder.
bool ffspack_leaves_folder(const std::string& name);
