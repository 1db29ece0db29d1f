// Signed updates: the maker's public key pinned by "UPDATE KEY" and the
// signature of each download in the update information, both as text of
// hexadecimal digits. The scheme is ECDSA on the P-256 curve over the SHA-256
// of the file's bytes; the key is the curve point's X and Y, the signature
// its R and S, 32 bytes each and most significant byte first.
#pragma once

enum { SIGNATURE_PART_SIZE = 32, SIGNATURE_SIZE = 2 * SIGNATURE_PART_SIZE };

// Reads `text` as exactly 2 * `size` hexadecimal digits (either case) into
// `size` bytes. Returns 0 for anything else: fewer or more digits, blanks,
// other characters.
int signature_bytes_from_text(const char* text, unsigned char* bytes, int size);

// Whether a download may be fetched at all under the pinned key: both texts
// must be readable. Otherwise 0, and `*reason` says why for the log.
int signature_texts_usable(const char* key_text, const char* signature_text, const char** reason);

// --- Windows: the system's cryptography -------------------------------------

// Checks the file at `path` against the signature with the pinned key, both
// as text. Returns 1 when it verifies; otherwise 0 and `*reason` says why in
// a few words for the log, as signature_texts_usable does. The system's library is loaded only
// here, so the program still starts where it is missing.
int signature_check_file(const char* path, const char* key_text, const char* signature_text,
                         const char** reason);
