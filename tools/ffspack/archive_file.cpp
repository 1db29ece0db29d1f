#include "archive_file.h"

#include <cstdio>
#include <cstring>

#include "archive/format.h"
#include "archive/scramble.h"

namespace {

const unsigned char g_mark = 0x16;
// Padding lengths tried before giving up; a few of those that end the file on
// a multiple of 8 always suffice, as the masks of consecutive positions differ.
const size_t g_padding_limit = 256;

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

int read_string(void* context, unsigned long offset, unsigned char* buffer, int count) {
    const std::string* file = static_cast<const std::string*>(context);
    memcpy(buffer, file->data() + offset, static_cast<size_t>(count));
    return 1;
}

} // namespace

ArchiveLocation ffspack_locate(const std::string& file) {
    ArchiveLocation location{ARCHIVE_NONE, 0, {}};
    // The archive's offsets are 32-bit: a larger file carries none that the stub reads.
    FfsSource source = {read_string, const_cast<std::string*>(&file),
                        static_cast<unsigned long>(file.size())};
    if (!ffs_archive_end(&source, &location.end)) {
        location.state = ARCHIVE_DAMAGED_TABLE;
        return location;
    }
    size_t end = location.end.offset;
    if (end < FFS_TRAILER_SIZE) {
        return location;
    }
    for (int i = FFS_TRAILER_SIZE - 1; i >= 0; --i) {
        location.trailer =
            (location.trailer << 8) | static_cast<unsigned char>(file[end - FFS_TRAILER_SIZE + i]);
    }
    if (location.trailer == 0 || location.trailer >= end) {
        return location;
    }
    size_t tag = location.trailer;
    bool tagged =
        tag + FFS_TAG_SIZE < end && file.compare(tag, FFS_TAG_SIZE, FFS_TAG, FFS_TAG_SIZE) == 0;
    location.state = !tagged                                 ? ARCHIVE_NO_TAG
                     : ffs_archive_clear(&location.end, tag) ? ARCHIVE_FOUND
                                                             : ARCHIVE_DAMAGED_TABLE;
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
        size_t length = image.size() + FFS_TAG_SIZE + script.size() + padding + FFS_TRAILER_SIZE;
        if (length % FFS_CERTIFICATE_ALIGNMENT != 0) {
            continue;
        }
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

std::string ffspack_image(const std::string& file, const ArchiveLocation& location) {
    std::string image =
        file.substr(0, location.state == ARCHIVE_FOUND ? location.trailer : location.end.offset);
    if (location.end.table_size != 0) {
        if (location.end.table + location.end.table_size == image.size()) {
            image.resize(location.end.table);
        }
        image.replace(location.end.directory, FFS_PE_DIRECTORY_SIZE,
                      std::string(FFS_PE_DIRECTORY_SIZE, '\0'));
    }
    return image;
}

std::string ffspack_data_block(const std::string& file, const ArchiveLocation& location) {
    std::string block = file.substr(location.trailer + FFS_TAG_SIZE,
                                    location.end.offset - location.trailer - FFS_TAG_SIZE);
    descramble(&block);
    return block;
}

std::string ffspack_no_archive(const std::string& path, const ArchiveLocation& location) {
    std::string offset = std::to_string(location.trailer);
    if (location.state == ARCHIVE_DAMAGED_TABLE) {
        return "'" + path + "' carries a damaged certificate table (" +
               std::to_string(location.end.table_size) + " bytes at " +
               std::to_string(location.end.table) + ")";
    }
    if (location.state == ARCHIVE_NONE) {
        return "'" + path + "' carries no archive (its trailer " + offset +
               " points at no place inside the file)";
    }
    return "'" + path +
           "' carries no archive or a damaged one (no \"FFS?\" tag with data at offset " + offset +
           ")";
}

bool ffspack_embedded_script(const std::string& path, const std::string& file, std::string* script,
                             std::string* error) {
    ArchiveLocation found = ffspack_locate(file);
    if (found.state != ARCHIVE_FOUND) {
        *error = ffspack_no_archive(path, found);
        return false;
    }
    std::string block = ffspack_data_block(file, found);
    *script = block.substr(0, block.size() - (block.size() < 4 ? block.size() : 4));
    return true;
}

bool ffspack_signed_intact(const std::string& path, const std::string& packed,
                           const std::string& signed_file, std::string* error) {
    ArchiveLocation before = ffspack_locate(packed);
    ArchiveLocation after = ffspack_locate(signed_file);
    if (after.state == ARCHIVE_DAMAGED_TABLE || after.end.table_size == 0 ||
        after.end.offset != after.end.table) {
        *error = "the signing command left no certificate table at the end of '" + path + "'";
        return false;
    }
    size_t archive = packed.size() - before.trailer;
    if (after.state != ARCHIVE_FOUND || after.trailer != before.trailer ||
        after.end.offset != packed.size() ||
        signed_file.compare(before.trailer, archive, packed, before.trailer, archive) != 0) {
        *error = "the signing command moved or changed the archive in '" + path +
                 "': the program would not find it before the certificate table";
        return false;
    }
    return true;
}
