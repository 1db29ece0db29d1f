// What the script's commands reach besides boxes and registry: an in-memory drive,
// fixed special folders, libraries never found, recorded progress and flow runs.
#pragma once

#include <map>
#include <string>
#include <vector>

struct InstallState;

// Empties the drive; the Programs folder is C:\Users\Ann\Start Menu\Programs again.
void platform_fake_reset();
// Adds a file, or a folder, with every folder above it. Paths are found
// ignoring case, '/' read as '\'.
void files_fake_add(const std::string& path, bool folder = false);
// Every path left, sorted, as added.
std::vector<std::string> files_fake_paths();
// Paths that cannot be deleted, as if another program held them; emptied by the reset.
extern std::vector<std::string> files_fake_held;
// The milliseconds of the last file_delete.
extern int files_fake_delete_wait;
// Folders listed since the reset.
extern int files_fake_listings;
// What shell_programs_folder answers ("" when the shell cannot tell).
extern std::string shell_folder_fake_programs;
// The libraries that load, by path, each with what its entry points return;
// no other is found. Emptied by the reset.
extern std::map<std::string, int> library_fake_results;

// Every progress call, one line each: "show 1", or the percentage as std::to_string.
std::string& window_fake_calls();

// The registration and update flows are only recorded.
struct FlowRun {
    void* owner_window;
    InstallState* state;
    std::string texts; // "update", or a registration's "question|url|record text"
};
std::vector<FlowRun>& flows_fake_runs();
extern int flows_fake_registration_result;
