// The maker's ECDSA P-256 signatures of update files, through OpenSSL's
// libcrypto. Public keys and signatures travel as 128 lowercase hexadecimal
// characters: X||Y of the uncompressed point and r||s, each value 32 bytes
// big-endian.
#pragma once

#include <string>

// A new key pair: the private key as PEM (PKCS#8) and the public key in hex.
bool signing_keygen(std::string* private_pem, std::string* public_hex, std::string* error);

// The signature, in hex, of `bytes` over SHA-256 with an unencrypted PEM
// private key, which must be EC P-256.
bool signing_sign(const std::string& private_pem, const std::string& bytes,
                  std::string* signature_hex, std::string* error);
