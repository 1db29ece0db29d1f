// The shell's special folders.
#pragma once

// The size a shell folder path needs: the shell writes up to this many bytes.
enum { SHELL_FOLDER_SIZE = 260 };

// The current user's Start-menu Programs folder, without a trailing
// separator, into `folder` of at least SHELL_FOLDER_SIZE bytes. When the
// shell cannot tell, `folder` is empty. Returns 1.
int shell_programs_folder(char* folder, int size);
