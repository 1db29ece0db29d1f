// The platform behind the script's commands for the host tests: an in-memory
// drive, fixed special folders and libraries that are never found.
#pragma once

#include <string>
#include <vector>

// Empties the drive; the shell's Programs folder is
// C:\Users\Ann\Start Menu\Programs again.
void platform_fake_reset();

// Adds a file, or a folder, with every folder above it. Paths are found
// ignoring case, '/' read as '\'.
void files_fake_add(const std::string& path, bool folder = false);
// Every path left, sorted, as added.
std::vector<std::string> files_fake_paths();

// Folders listed since the reset.
extern int files_fake_listings;
// What shell_programs_folder answers ("" when the shell cannot tell).
extern std::string shell_folder_fake_programs;
