// Programs as far as the archive reader looks into them: PE headers of either
// width with nothing behind them, and signing as the signing tools leave a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum { PE_FILE_32 = 0x10B, PE_FILE_64 = 0x20B };

// The DOS header, the PE signature, the file header and an optional header of
// `magic` (PE_FILE_32 or PE_FILE_64) with 16 empty data directories, then zero
// bytes up to `size`.
std::string pe_file_image(int magic, size_t size);

// The security directory's entry (file offset, then size) in such an image.
size_t pe_file_security_entry(int magic);
void pe_file_set_security(std::string* file, int magic, uint32_t offset, uint32_t size);

// `file` signed: zero bytes up to a multiple of 8, then a certificate table of
// `size` bytes (its header, then filler) that the security directory names.
std::string pe_file_signed(std::string file, int magic, uint32_t size);
