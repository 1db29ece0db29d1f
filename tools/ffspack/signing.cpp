#include "signing.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

const size_t COORDINATE_SIZE = 32;

using Bignum = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free_all)>;
using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Signature = std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)>;

// Empties OpenSSL's error queue into the message, so that the next call of a
// longer-lived caller does not report this failure again.
bool openssl_failed(const std::string& what, std::string* error) {
    char reason[256] = "unknown error";
    unsigned long code = ERR_peek_last_error();
    if (code != 0) {
        ERR_error_string_n(code, reason, sizeof reason);
    }
    ERR_clear_error();
    *error = what + ": " + reason;
    return false;
}

// Two values below 2^256, each left-padded with zeros to 32 bytes.
bool pair_hex(const BIGNUM* first, const BIGNUM* second, std::string* hex) {
    unsigned char bytes[2 * COORDINATE_SIZE];
    if (BN_bn2binpad(first, bytes, COORDINATE_SIZE) < 0 ||
        BN_bn2binpad(second, bytes + COORDINATE_SIZE, COORDINATE_SIZE) < 0) {
        return false;
    }
    static const char digits[] = "0123456789abcdef";
    hex->clear();
    for (unsigned char byte : bytes) {
        hex->push_back(digits[byte >> 4]);
        hex->push_back(digits[byte & 15]);
    }
    return true;
}

bool is_p256(EVP_PKEY* key) {
    char group[64];
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          nullptr) == 1 &&
           strcmp(group, SN_X9_62_prime256v1) == 0;
}

// Refuses every passphrase: an encrypted key is not prompted for, it fails.
int no_passphrase(char*, int, int, void*) {
    return 0;
}

} // namespace

bool signing_keygen(std::string* private_pem, std::string* public_hex, std::string* error) {
    Key key(EVP_EC_gen(SN_X9_62_prime256v1), EVP_PKEY_free);
    if (!key) {
        return openssl_failed("cannot make a P-256 key", error);
    }
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_EC_PUB_X, &x);
    EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &y);
    Bignum owned_x(x, BN_free);
    Bignum owned_y(y, BN_free);
    if (!x || !y || !pair_hex(x, y, public_hex)) {
        return openssl_failed("cannot read the new public key", error);
    }
    Bio pem(BIO_new(BIO_s_mem()), BIO_free_all);
    char* text = nullptr;
    long size = 0;
    if (!pem ||
        PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        (size = BIO_get_mem_data(pem.get(), &text)) <= 0) {
        return openssl_failed("cannot write the new private key", error);
    }
    private_pem->assign(text, static_cast<size_t>(size));
    return true;
}

bool signing_sign(const std::string& private_pem, const std::string& bytes,
                  std::string* signature_hex, std::string* error) {
    Bio pem(BIO_new_mem_buf(private_pem.data(), static_cast<int>(private_pem.size())),
            BIO_free_all);
    Key key(pem ? PEM_read_bio_PrivateKey(pem.get(), nullptr, no_passphrase, nullptr) : nullptr,
            EVP_PKEY_free);
    if (!key || !is_p256(key.get())) {
        ERR_clear_error();
        *error = "not an EC P-256 private key (unencrypted PEM)";
        return false;
    }
    Context context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, data, bytes.size()) != 1) {
        return openssl_failed("cannot sign", error);
    }
    std::vector<unsigned char> der(size);
    if (EVP_DigestSign(context.get(), der.data(), &size, data, bytes.size()) != 1) {
        return openssl_failed("cannot sign", error);
    }
    const unsigned char* cursor = der.data();
    Signature signature(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(size)), ECDSA_SIG_free);
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    if (signature) {
        ECDSA_SIG_get0(signature.get(), &r, &s);
    }
    if (!r || !s || !pair_hex(r, s, signature_hex)) {
        return openssl_failed("cannot read the signature", error);
    }
    return true;
}
