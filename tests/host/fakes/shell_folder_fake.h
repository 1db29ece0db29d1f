// The shell's Programs folder for the host tests.
#pragma once

// Answers C:\Users\Ann\Start Menu\Programs again.
void shell_folder_fake_reset();

// What shell_programs_folder answers from now on ("" when the shell cannot tell).
void shell_folder_fake_set(const char* programs);
