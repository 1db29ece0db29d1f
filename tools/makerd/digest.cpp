#include "digest.h"

#include <openssl/evp.h>

std::string digest_sha256_hex(const std::string& bytes) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), hash, &length, EVP_sha256(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[hash[i] >> 4];
        hex += digits[hash[i] & 15];
    }
    return hex;
}
