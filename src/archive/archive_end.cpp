#include "archive_end.h"

#include "archive/format.h"

namespace {

unsigned long little_endian(const unsigned char* bytes, int count) {
    unsigned long value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

int read_inside(const FfsSource* source, unsigned long offset, unsigned char* buffer, int count) {
    return offset <= source->length &&
           static_cast<unsigned long>(count) <= source->length - offset &&
           source->read(source->context, offset, buffer, count);
}

// The file offset of the security directory's entry, or 0 when the file has
// no PE headers that hold one.
unsigned long security_entry(const FfsSource* source) {
    unsigned char dos[FFS_PE_DOS_HEADER_SIZE];
    if (!read_inside(source, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return 0;
    }
    unsigned long pe = little_endian(dos + FFS_PE_HEADER_POINTER, 4);
    unsigned char head[FFS_PE_OPTIONAL_HEADER + 2]; // through the optional header's magic
    if (!read_inside(source, pe, head, sizeof head) || head[0] != 'P' || head[1] != 'E' ||
        head[2] != 0 || head[3] != 0) {
        return 0;
    }
    unsigned long magic = little_endian(head + FFS_PE_OPTIONAL_HEADER, 2);
    unsigned long directories = magic == FFS_PE32_MAGIC        ? FFS_PE32_DIRECTORIES
                                : magic == FFS_PE32_PLUS_MAGIC ? FFS_PE32_PLUS_DIRECTORIES
                                                               : 0;
    unsigned long entry = directories + FFS_PE_SECURITY_DIRECTORY * FFS_PE_DIRECTORY_SIZE;
    unsigned char count[4];
    if (directories == 0 ||
        little_endian(head + FFS_PE_OPTIONAL_SIZE, 2) < entry + FFS_PE_DIRECTORY_SIZE ||
        !read_inside(source, pe + FFS_PE_OPTIONAL_HEADER + directories - 4, count, 4) ||
        little_endian(count, 4) <= FFS_PE_SECURITY_DIRECTORY) {
        return 0;
    }
    return pe + FFS_PE_OPTIONAL_HEADER + entry;
}

} // namespace

int ffs_archive_end(const FfsSource* source, FfsArchiveEnd* end) {
    end->offset = source->length;
    end->directory = 0;
    end->table = 0;
    end->table_size = 0;
    unsigned long entry = security_entry(source);
    unsigned char directory[FFS_PE_DIRECTORY_SIZE];
    if (entry == 0 || !read_inside(source, entry, directory, sizeof directory)) {
        return 1;
    }
    end->directory = entry;
    unsigned long offset = little_endian(directory, 4);
    unsigned long size = little_endian(directory + 4, 4);
    if (offset == 0 && size == 0) {
        return 1;
    }
    end->table = offset;
    end->table_size = size;
    // The table lies behind the headers that name it and inside the file; its
    // own header says it is Authenticode's and fits inside it.
    unsigned char header[FFS_CERTIFICATE_HEADER_SIZE];
    if (offset < entry + FFS_PE_DIRECTORY_SIZE || offset > source->length ||
        size > source->length - offset || !read_inside(source, offset, header, sizeof header)) {
        return 0;
    }
    if (size == source->length - offset) {
        end->offset = offset;
    }
    return little_endian(header, 4) >= FFS_CERTIFICATE_HEADER_SIZE &&
           little_endian(header, 4) <= size &&
           little_endian(header + 4, 2) == FFS_CERTIFICATE_REVISION &&
           little_endian(header + 6, 2) == FFS_CERTIFICATE_SIGNED_DATA;
}

int ffs_archive_clear(const FfsArchiveEnd* end, unsigned long tag) {
    return end->table_size == 0 || end->offset == end->table || tag >= end->table + end->table_size;
}
