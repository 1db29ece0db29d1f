// An in-memory drive behind platform/files.h for the host tests: files and
// folders by full path (found ignoring case, '/' read as '\'), with every
// operation recorded in order.
#pragma once

#include <string>
#include <vector>

// Forgets every file, folder and call; the current folder becomes C:\Work.
void files_fake_reset();

// Adds a file, or a folder, with every folder above it.
void files_fake_add_file(const std::string& path);
void files_fake_add_folder(const std::string& path);

// A file that cannot be deleted (held open), or a folder that cannot be
// listed or removed.
void files_fake_hold(const std::string& path);

int files_fake_exists(const std::string& path);

// Every path left, files and folders, sorted, as added (original case).
std::vector<std::string> files_fake_paths();

// "delete PATH", "exists PATH", "cd \" (the folder left for the root),
// "list FOLDER", "remove FOLDER", in call order.
const std::vector<std::string>& files_fake_calls();

// Entries handed to listing callbacks so far, "." and ".." included.
int files_fake_entries_visited();
