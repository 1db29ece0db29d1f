#include "support/pe_file.h"

namespace {

const size_t g_pe = 0x80;

void put(std::string* file, size_t offset, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        (*file)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

size_t directories(int magic) {
    return g_pe + 24 + (magic == PE_FILE_32 ? 96 : 112);
}

} // namespace

std::string pe_file_image(int magic, size_t size) {
    std::string file(size, '\0');
    file[0] = 'M', file[1] = 'Z';
    put(&file, 0x3C, g_pe, 4);
    file.replace(g_pe, 4, std::string("PE\0\0", 4));
    put(&file, g_pe + 4, magic == PE_FILE_32 ? 0x14C : 0x8664, 2);
    put(&file, g_pe + 20, static_cast<uint32_t>(directories(magic) + 16 * 8 - g_pe - 24), 2);
    put(&file, g_pe + 24, static_cast<uint32_t>(magic), 2);
    put(&file, directories(magic) - 4, 16, 4);
    return file;
}

size_t pe_file_security_entry(int magic) {
    return directories(magic) + 4 * 8;
}

void pe_file_set_security(std::string* file, int magic, uint32_t offset, uint32_t size) {
    put(file, pe_file_security_entry(magic), offset, 4);
    put(file, pe_file_security_entry(magic) + 4, size, 4);
}

std::string pe_file_signed(std::string file, int magic, uint32_t size) {
    file.resize((file.size() + 7) / 8 * 8, '\0');
    uint32_t offset = static_cast<uint32_t>(file.size());
    std::string table(size, 'c');
    put(&table, 0, size, 4);
    put(&table, 4, 0x0200, 2);
    put(&table, 6, 2, 2);
    pe_file_set_security(&file, magic, offset, size);
    return file + table;
}
