// The e-mail shape check of the registration form.
#pragma once

// 1 when `text` has an acceptable e-mail shape: only letters, digits and
// "-+_@."; exactly one "@", neither first nor followed by "."; after it only
// letters, digits, "-" and "."; no ".." anywhere; at least 4 bytes after the
// "@" with a "." among them; no digit in the last label. Nothing else is
// tested. 0 otherwise.
int email_address_valid(const char* text);
