// The program's identity: read by the code and by the version resource, so
// the version text lives in this one place.
#pragma once

#define PROGRAM_NAME "Uninstall"
#define PROGRAM_VERSION "1.50"
#define PROGRAM_BUILD "Release"
#define PROGRAM_MAKER_KEY "Software\\Pelmora\\Installer"
// The maker's web-site host, named in parentheses at the end of every agent text.
#define PROGRAM_MAKER_SITE "www.pelmora.com"

#define PROGRAM_VERSION_BINARY 1, 50, 0, 0
