#include "listing.h"

#include <cstdio>
#include <vector>

#include "storage.h"

namespace {

std::string listing_tag_name(int tag) {
    char name[16];
    snprintf(name, sizeof name, "%03d", tag);
    return name;
}

std::string listing_csv_line(const Registration* row, const std::vector<int>& tags) {
    std::string line;
    if (!row) {
        line = "id,received,peer,version";
        for (int tag : tags) {
            line += "," + listing_tag_name(tag);
        }
    } else {
        line = std::to_string(row->id) + "," + listing_csv_cell(row->received) + "," +
               listing_csv_cell(row->peer) + "," + listing_csv_cell(row->version);
        for (int tag : tags) {
            bool present = false;
            std::string value = storage_field(*row, tag, &present);
            line += "," + (present ? listing_csv_cell(value) : "");
        }
    }
    return line + "\r\n";
}

std::string listing_json_object(const Registration& row, const std::vector<int>& tags) {
    std::string line = "{\"id\": " + std::to_string(row.id) +
                       ", \"received\": " + listing_json_string(row.received) +
                       ", \"peer\": " + listing_json_string(row.peer) +
                       ", \"version\": " + listing_json_string(row.version);
    for (int tag : tags) {
        bool present = false;
        std::string value = storage_field(row, tag, &present);
        line += ", \"" + listing_tag_name(tag) +
                "\": " + (present ? listing_json_string(value) : "null");
    }
    return line + "}";
}

} // namespace

std::string listing_csv_cell(const std::string& text) {
    bool formula = !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
    if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = formula ? "\"'" : "\"";
    for (char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string listing_json_string(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

bool listing_write(Storage* db, ListingFormat format,
                   const std::function<bool(const std::string&)>& write, std::string* error) {
    std::vector<int> tags;
    if (!db->read_begin(error) || !db->tags(&tags, error)) {
        return false;
    }
    bool json = format == LISTING_JSON, first = true;
    bool reading = write(json ? "[\n" : listing_csv_line(nullptr, tags));
    bool good = reading && db->walk(
                               [&](const Registration& row) {
                                   reading = write(!json ? listing_csv_line(&row, tags)
                                                         : (first ? "" : ",\n") +
                                                               listing_json_object(row, tags));
                                   first = false;
                                   return reading;
                               },
                               error);
    db->read_end();
    if (!reading) {
        *error = "the reader went away";
        return false;
    }
    return good && (!json || write("\n]\n"));
}
