// SHA-256 through OpenSSL's libcrypto.
#pragma once

#include <string>

// The SHA-256 of `bytes` as 64 lowercase hexadecimal digits.
std::string digest_sha256_hex(const std::string& bytes);
