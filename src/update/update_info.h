// Update information: the maker's list of products and their newest versions.
//
// The answer of the update server is read byte by byte from its very start
// (status line and headers are passed over). Fields open with the byte 0x16
// and a type byte; the value runs to the next byte below 0x20:
//
//   0x16 '1' <company> <product>   starts a record: key, version, page emptied
//   0x16 '2' <version>             version text, read as a number (79 chars)
//   0x16 '3' <web page URL>        opened by "Connect to webpage"
//   0x16 '4' <download URL>        fetched by the download
//   0x16 '5' <signature>           of the file behind this record's download URL
//   0x16 '0'                       ends the record: compared with the product
//   0x16 <other> <value>           logged as unknown
//
// Every value but the version holds up to 319 characters. The download URL
// and the version number carry over from one record into the next; the
// signature never does, it belongs to its record's file.
#pragma once

struct InstallState;

enum {
    UPDATE_KEY_SIZE = 320,
    UPDATE_VERSION_SIZE = 80,
    UPDATE_URL_SIZE = 320,
    UPDATE_FIELD_MARK = 0x16,
};

#define UPDATE_TITLE "Electronic Update..."

struct UpdateRecord {
    char key[UPDATE_KEY_SIZE];
    char version[UPDATE_VERSION_SIZE]; // shortened to its leading digits and dots
    char page_url[UPDATE_URL_SIZE];
    char download_url[UPDATE_URL_SIZE];
    char signature[UPDATE_URL_SIZE];
    double remote_version;
};

// Ends `text` at its first character that is neither a digit nor '.', and
// reads what is left as a decimal number (0.0 when nothing is left). So 1.10
// is 1.1, older than 1.9. Returns 1.
int update_version_number(double* number, char* text);

// Copies the value at `*position` up to the next byte below 0x20 and leaves
// `*position` on that byte. Returns 0 when the value does not fit in `size`
// bytes with its terminator.
int update_read_field(const char** position, char* value, int size);

// Scans `answer` for the record whose key equals `product_key` (ASCII letters
// in any case). Returns 1 when it was found, 0 when the answer ended first or a
// value was too long.
int update_scan(const char* answer, const char* product_key, UpdateRecord* record);

// The product's record for the install state's company and product. Reads the
// installed version (shortening product_version in place), logs the match
// and tells whether the record's version is newer. Returns 1 when found.
int update_find_product(InstallState* state, const char* answer, UpdateRecord* record, int* newer);
