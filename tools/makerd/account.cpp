#include "account.h"

#include <sodium.h>

#include <vector>

bool account_init() {
    return sodium_init() >= 0;
}

bool account_name_valid(const std::string& name) {
    if (name.empty() || name.size() > ACCOUNT_NAME_LIMIT) {
        return false;
    }
    for (char c : name) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letter && c != '.' && c != '-' && c != '_' && c != '@') {
            return false;
        }
    }
    return true;
}

std::string account_password_problem(const std::string& password) {
    if (password.size() < ACCOUNT_PASSWORD_MINIMUM) {
        return "a password needs at least " + std::to_string(ACCOUNT_PASSWORD_MINIMUM) +
               " characters";
    }
    if (password.size() > ACCOUNT_PASSWORD_LIMIT) {
        return "a password has at most " + std::to_string(ACCOUNT_PASSWORD_LIMIT) + " characters";
    }
    return "";
}

std::string account_hash(const std::string& password) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(
            hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return "";
    }
    return hash;
}

bool account_verify(const std::string& hash, const std::string& password) {
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string account_random_hex(size_t bytes) {
    std::vector<unsigned char> random(bytes);
    randombytes_buf(random.data(), random.size());
    std::string hex(bytes * 2 + 1, '\0');
    sodium_bin2hex(&hex[0], hex.size(), random.data(), random.size());
    hex.pop_back();
    return hex;
}
