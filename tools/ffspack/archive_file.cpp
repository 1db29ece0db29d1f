#include "archive_file.h"

#include <cstdio>
#include <cstring>

#include "archive/format.h"
#include "archive/scramble.h"

namespace {

const unsigned char g_mark = 0x16;
// Padding lengths tried before giving up; a few always suffice, as the masks
// of consecutive positions differ.
const size_t g_padding_limit = 64;

void descramble(std::string* block) {
    char key[FFS_KEY_BUFFER_SIZE];
    snprintf(key, sizeof key, "%s", FFS_KEY);
    if (!block->empty()) {
        ffs_scramble(reinterpret_cast<unsigned char*>(&(*block)[0]),
                     static_cast<int>(block->size()), key, static_cast<int>(strlen(key)));
    }
}

std::string little_endian(uint32_t value) {
    std::string bytes(FFS_TRAILER_SIZE, '\0');
    for (int i = 0; i < FFS_TRAILER_SIZE; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

} // namespace

ArchiveLocation ffspack_locate(const std::string& file) {
    ArchiveLocation location{ARCHIVE_NONE, 0};
    if (file.size() < FFS_TRAILER_SIZE) {
        return location;
    }
    for (int i = FFS_TRAILER_SIZE - 1; i >= 0; --i) {
        location.trailer = (location.trailer << 8) |
                           static_cast<unsigned char>(file[file.size() - FFS_TRAILER_SIZE + i]);
    }
    if (location.trailer == 0 || location.trailer >= file.size()) {
        return location;
    }
    size_t tag = location.trailer;
    bool tagged = tag + FFS_TAG_SIZE < file.size() &&
                  file.compare(tag, FFS_TAG_SIZE, FFS_TAG, FFS_TAG_SIZE) == 0;
    location.state = tagged ? ARCHIVE_FOUND : ARCHIVE_NO_TAG;
    return location;
}

bool ffspack_pack(const std::string& image, const std::string& script, std::string* packed,
                  std::string* error) {
    if (image.empty()) {
        *error = "the stub is empty: an archive at offset 0 cannot be found";
        return false;
    }
    if (image.size() >
        0x7FFFFFFFu - FFS_TAG_SIZE - FFS_TRAILER_SIZE - g_padding_limit - script.size()) {
        *error = "the stub and script are too large for the archive's 32-bit offsets";
        return false;
    }
    const std::string trailer = little_endian(static_cast<uint32_t>(image.size()));
    for (size_t padding = 0; padding < g_padding_limit; ++padding) {
        std::string payload = script + std::string(padding, '\0');
        std::string check = payload + trailer;
        descramble(&check);
        if (check.find(static_cast<char>(g_mark), payload.size()) != std::string::npos) {
            continue;
        }
        descramble(&payload);
        *packed = image + FFS_TAG + payload + trailer;
        return true;
    }
    *error = "no padding keeps the command mark out of the trailer";
    return false;
}

std::string ffspack_data_block(const std::string& file, const ArchiveLocation& location) {
    std::string block = file.substr(location.trailer + FFS_TAG_SIZE);
    descramble(&block);
    return block;
}
