#include "ffs.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "archive/archive_end.h"
#include "archive/file_open.h"
#include "archive/format.h"
#include "archive/scramble.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/text.h"

namespace {

unsigned char* g_data = nullptr;
int g_length = 0;

void release_block() {
    if (g_data) {
        MEM_RETURN(g_data, g_length);
    }
    g_length = 0;
}

int read_at(void* file, unsigned long offset, unsigned char* buffer, int count) {
    FILE* stream = static_cast<FILE*>(file);
    return fseek(stream, static_cast<long>(offset), SEEK_SET) == 0 &&
           fread(buffer, 1, static_cast<size_t>(count), stream) == static_cast<size_t>(count);
}

unsigned long read_trailer(FILE* file, unsigned long end) {
    unsigned char bytes[FFS_TRAILER_SIZE];
    if (end < FFS_TRAILER_SIZE || !read_at(file, end - FFS_TRAILER_SIZE, bytes, sizeof bytes)) {
        return 0;
    }
    return bytes[0] | (bytes[1] << 8) | (static_cast<unsigned long>(bytes[2]) << 16) |
           (static_cast<unsigned long>(bytes[3]) << 24);
}

int has_tag(FILE* file, unsigned long offset) {
    unsigned char tag[FFS_TAG_SIZE];
    return read_at(file, offset, tag, sizeof tag) && memcmp(tag, FFS_TAG, sizeof tag) == 0;
}

void log_damaged_table(const char* path, const FfsArchiveEnd* end) {
    log_printf("File '%s' has a damaged certificate table (%u bytes at %u)!\n", path,
               static_cast<unsigned>(end->table_size), static_cast<unsigned>(end->table));
}

// Opening after the file has been opened: the outcome decides only the log.
int open_archive(FILE* file, const char* path) {
    long file_length = 0;
    if (fseek(file, 0, SEEK_END) == 0) {
        file_length = ftell(file);
    }
    if (file_length < 0) {
        file_length = 0;
    }
    // A signed program's archive ends where its certificate table starts.
    FfsSource source = {read_at, file, static_cast<unsigned long>(file_length)};
    FfsArchiveEnd archive_end;
    if (!ffs_archive_end(&source, &archive_end)) {
        log_damaged_table(path, &archive_end);
        return 0;
    }
    unsigned long end = archive_end.offset;
    if (archive_end.table_size != 0) {
        log_printf(end == archive_end.table
                       ? "Signed: FFS ends at the certificate table (%u bytes at %u)\n"
                       : "Signed: FFS ends at the end of the file, behind the certificate table "
                         "(%u bytes at %u)\n",
                   static_cast<unsigned>(archive_end.table_size),
                   static_cast<unsigned>(archive_end.table));
    }
    unsigned long tag_offset = read_trailer(file, end);
    if (tag_offset == 0 || tag_offset >= end) {
        log_printf("File '%s' doesn't contain FFS data!\n", path);
        return 0;
    }
    // A tag read at the trailer itself leaves no data behind it; an empty data
    // block could not even be allocated.
    if (!has_tag(file, tag_offset) || tag_offset + FFS_TAG_SIZE >= end) {
        log_printf("FFS Does not contain proper tag (Read %d from %d)!!!\n",
                   static_cast<int>(tag_offset), static_cast<int>(end - FFS_TRAILER_SIZE));
        return 0;
    }
    if (!ffs_archive_clear(&archive_end, tag_offset)) {
        log_damaged_table(path, &archive_end);
        return 0;
    }

    release_block();
    int length = static_cast<int>(end - tag_offset - FFS_TAG_SIZE);
    g_data = static_cast<unsigned char*>(MEM_ALLOC(length));
    g_length = length;
    if (!read_at(file, tag_offset + FFS_TAG_SIZE, g_data, length)) {
        // Half a block would hand undescrambled bytes to the script loader.
        release_block();
        return 0;
    }

    char key[FFS_KEY_BUFFER_SIZE];
    text_copy(key, sizeof key, FFS_KEY);
    ffs_scramble(g_data, g_length, key, text_length(key));
    log_printf("Flat/Fast File System Initialized...\n");
    return 1;
}

} // namespace

int ffs_open(const char* path) {
    CORE_ASSERT_POINTER(path);
    FILE* file = archive_file_open(path);
    if (!file) {
        log_printf("Couldn't open flat file '%s'!\n", path);
        return 0;
    }
    int opened = open_archive(file, path);
    fclose(file);
    return opened;
}

int ffs_close() {
    release_block();
    log_printf("Flat/Fast File System Removed...\n");
    return 1;
}

int ffs_file_size(const char* name, int* size) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(size);
    if (g_data) {
        *size = g_length;
        return 1;
    }
    FILE* file = fopen(name, "rb");
    if (!file) {
        return 0;
    }
    long length = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    fclose(file);
    if (length < 0 || length > INT_MAX) {
        return 0;
    }
    *size = static_cast<int>(length);
    return 1;
}

int ffs_read_file(const char* name, void* buffer, int size) {
    CORE_ASSERT_POINTER(name);
    CORE_ASSERT_POINTER(buffer);
    if (size < 0) {
        size = 0;
    }
    if (g_data) {
        memcpy(buffer, g_data, static_cast<size_t>(size < g_length ? size : g_length));
        return 1;
    }
    FILE* file = fopen(name, "rb");
    if (!file) {
        return 0;
    }
    size_t read = fread(buffer, 1, static_cast<size_t>(size), file);
    fclose(file);
    if (read < static_cast<size_t>(size)) {
        log_printf("Unable to read from file '%s'\n", name);
        return 0;
    }
    return 1;
}
