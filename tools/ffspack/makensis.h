// Running NSIS's compiler, makensis, as a child process: posix_spawn on the
// host, CreateProcess on Windows; never through a shell.
#pragma once

#include <string>
#include <vector>

// Runs `program` with `arguments` and waits for it. An empty `program` is
// makensis as this system finds it: on PATH; on Windows also in the NSIS
// folder (the registry's HKLM\Software\NSIS, then %ProgramFiles(x86)%\NSIS and
// %ProgramFiles%\NSIS). `output` receives what it wrote to its standard output
// and error. Returns false, with the reason in `error`, when it could not be
// started; otherwise sets `exit_code`.
bool makensis_run(const std::string& program, const std::vector<std::string>& arguments,
                  int* exit_code, std::string* output, std::string* error);
