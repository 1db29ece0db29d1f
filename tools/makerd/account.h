// The console's accounts: their names, and passwords kept as Argon2id hashes
// through libsodium (interactive limits: 64 MiB and two passes a check).
#pragma once

#include <string>

enum { ACCOUNT_NAME_LIMIT = 64, ACCOUNT_PASSWORD_MINIMUM = 8, ACCOUNT_PASSWORD_LIMIT = 1024 };

// Starts libsodium; false when it cannot (no source of randomness).
bool account_init();

// 1 to ACCOUNT_NAME_LIMIT letters, digits, '.', '-', '_' or '@'.
bool account_name_valid(const std::string& name);

// Why `password` cannot be one, or "".
std::string account_password_problem(const std::string& password);

// The hash to store, "" when there was no memory for it.
std::string account_hash(const std::string& password);

// Whether `password` is the one of `hash`.
bool account_verify(const std::string& hash, const std::string& password);

// `bytes` random bytes as lowercase hexadecimal digits.
std::string account_random_hex(size_t bytes);
