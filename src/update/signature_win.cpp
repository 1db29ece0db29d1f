// The check of a download with the system's CNG library, loaded at run time.
#include <windows.h>

#include <bcrypt.h>

#include "core/text.h"
#include "platform/library.h"
#include "update/signature.h"

namespace {

enum { SIGNATURE_CHUNK_SIZE = 8192, SIGNATURE_HASH_OBJECT_SIZE = 1024 };

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open_algorithm;
    decltype(&BCryptCloseAlgorithmProvider) close_algorithm;
    decltype(&BCryptCreateHash) create_hash;
    decltype(&BCryptHashData) hash_data;
    decltype(&BCryptFinishHash) finish_hash;
    decltype(&BCryptDestroyHash) destroy_hash;
    decltype(&BCryptImportKeyPair) import_key;
    decltype(&BCryptVerifySignature) verify;
    decltype(&BCryptDestroyKey) destroy_key;
};

HMODULE load_cng(Cng* cng) {
    static const char names[] =
        "BCryptOpenAlgorithmProvider\0BCryptCloseAlgorithmProvider\0BCryptCreateHash\0"
        "BCryptHashData\0BCryptFinishHash\0BCryptDestroyHash\0BCryptImportKeyPair\0"
        "BCryptVerifySignature\0BCryptDestroyKey";
    Library library = nullptr;
    library_load_system("bcrypt.dll", names, sizeof(Cng) / sizeof(FARPROC),
                        reinterpret_cast<void (**)()>(cng), &library);
    return library;
}

// The SHA-256 of the file's bytes. The hash object lives in our buffer, which
// the oldest systems with CNG require.
int hash_file(const Cng& cng, const char* path, unsigned char* digest) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    static unsigned char s_object[SIGNATURE_HASH_OBJECT_SIZE];
    int hashed = 0;
    if (cng.open_algorithm(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0) {
        if (cng.create_hash(algorithm, &hash, s_object, sizeof s_object, nullptr, 0, 0) == 0) {
            static unsigned char s_chunk[SIGNATURE_CHUNK_SIZE];
            DWORD read = 0;
            hashed = 1;
            while (hashed && ReadFile(file, s_chunk, sizeof s_chunk, &read, nullptr) && read > 0) {
                hashed = cng.hash_data(hash, s_chunk, read, 0) == 0;
            }
            hashed = hashed && cng.finish_hash(hash, digest, SIGNATURE_PART_SIZE, 0) == 0;
            cng.destroy_hash(hash);
        }
        cng.close_algorithm(algorithm, 0);
    }
    CloseHandle(file);
    return hashed;
}

int verify_digest(const Cng& cng, const unsigned char* point, const unsigned char* digest,
                  unsigned char* signature) {
    struct {
        BCRYPT_ECCKEY_BLOB header;
        unsigned char point[SIGNATURE_SIZE];
    } blob = {{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, SIGNATURE_PART_SIZE}, {}};
    for (int i = 0; i < SIGNATURE_SIZE; ++i) {
        blob.point[i] = point[i];
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (cng.open_algorithm(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) {
        return 0;
    }
    BCRYPT_KEY_HANDLE key = nullptr;
    int verified = 0;
    if (cng.import_key(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                       reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0) == 0) {
        verified = cng.verify(key, nullptr, const_cast<PUCHAR>(digest), SIGNATURE_PART_SIZE,
                              signature, SIGNATURE_SIZE, 0) == 0;
        cng.destroy_key(key);
    }
    cng.close_algorithm(algorithm, 0);
    return verified;
}

} // namespace

int signature_check_file(const char* path, const char* key_text, const char* signature_text,
                         const char** reason) {
    if (!signature_texts_usable(key_text, signature_text, reason)) {
        return 0;
    }
    unsigned char point[SIGNATURE_SIZE];
    unsigned char signature[SIGNATURE_SIZE];
    unsigned char digest[SIGNATURE_PART_SIZE];
    signature_bytes_from_text(key_text, point, sizeof point);
    signature_bytes_from_text(signature_text, signature, sizeof signature);
    Cng cng;
    HMODULE library = load_cng(&cng);
    int verified = 0;
    if (!library) {
        *reason = "this system cannot check signatures";
    } else if (!hash_file(cng, path, digest)) {
        *reason = "the file cannot be read";
    } else if (!verify_digest(cng, point, digest, signature)) {
        *reason = "the signature does not match the file";
    } else {
        verified = 1;
    }
    if (library) {
        FreeLibrary(library);
    }
    return verified;
}
