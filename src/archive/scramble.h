// The archive's position-keyed scrambling, shared by the stub's reader and the
// maker's packer.
#pragma once

// Exclusive-ors byte i of `data` with the low 8 bits of key[j] ^ i ^ j, where
// j = i modulo `key_length`. The same call scrambles and descrambles.
// Returns 1; a null pointer or an empty key is a fatal stop.
int ffs_scramble(unsigned char* data, int length, const char* key, int key_length);
