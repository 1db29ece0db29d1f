// The keyword table: a list of keywords and their handlers, ordered by length
// (longest first; equal lengths latest first). A keyword is found by its
// length and quick CRC alone; its characters are never compared.
#pragma once

#include "script/install_state.h"

enum { KEYWORD_SIZE = 40 }; // at most 39 characters and the terminator

struct KeywordEntry {
    char keyword[KEYWORD_SIZE];
    int length;
    unsigned crc;
    CommandHandler handler;
    KeywordEntry* next;
};

// Registers every command of keyword_list.h, in its order. Returns 1.
int keyword_table_build();

// Adds one entry. A keyword of 40 or more characters, and one that has the
// length and quick CRC of a registered keyword, are fatal stops. Returns 1.
int keyword_add(const char* keyword, CommandHandler handler);

// 1 when an entry with the keyword's length and quick CRC exists.
int keyword_known(const char* keyword);

// Sets `consumed` to 0 and returns the keyword's handler's result; 0 when the
// keyword is not in the table.
int keyword_dispatch(const char* keyword, InstallState* state, const char* arguments,
                     int* consumed);

// Frees every entry; the table is empty again. Returns 1.
int keyword_table_free();
