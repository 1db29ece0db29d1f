// CRC-32 as zlib and PNG compute it (reflected polynomial 0x04C11DB7,
// initial value and final inversion 0xFFFFFFFF).
#pragma once

unsigned crc32_block(const void* data, int length);
