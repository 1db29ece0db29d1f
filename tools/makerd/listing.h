// The registrations as one table, for `makerd export` and the console's
// downloads: id, received (UTC), peer, version, then one column per field tag
// seen in any registration ("001", "101", ...), in tag order; a tag that a
// registration repeats holds its values joined by line feeds.
//
// CSV is quoted as RFC 4180 says, its bytes as received, except that a cell
// that a spreadsheet would take as a formula (one starting with '=', '+',
// '-', '@', a tab or a carriage return) starts with an apostrophe, quoted, so
// that it opens as the text it is. JSON is an array of objects with the same
// keys, null for a tag that a registration lacks, its bytes exact (each byte
// outside printable ASCII written as the character of that number, \u00XX).
#pragma once

#include "storage.h"

#include <functional>
#include <string>

enum ListingFormat { LISTING_CSV, LISTING_JSON };

// Writes the table of every registration through `write`, which returns false
// when nobody reads any more. The tags and the rows come from one moment.
bool listing_write(Storage* db, ListingFormat format,
                   const std::function<bool(const std::string&)>& write, std::string* error);

// One CSV cell, as above.
std::string listing_csv_cell(const std::string& text);

// One JSON string, as above.
std::string listing_json_string(const std::string& text);
