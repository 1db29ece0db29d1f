// makerd export: every registration, one row each, as CSV or JSON.
#include <cstdio>
#include <map>
#include <vector>

#include "args.h"
#include "commands.h"
#include "database.h"

namespace {

const char g_usage[] =
    "Usage: makerd export --db FILE [--format csv|json]\n"
    "  Prints every registration in the order received: id, received (UTC),\n"
    "  peer, version, then one column per field tag seen in any registration\n"
    "  (\"001\", \"101\", ...), in tag order. A tag that a registration repeats\n"
    "  holds its values joined by line feeds. CSV (the default) is quoted as\n"
    "  RFC 4180 says, its bytes as received; JSON is an array of objects with the\n"
    "  same keys, null for a tag that a registration lacks, each byte outside\n"
    "  printable ASCII written as the character of that number (\\u00XX).\n";

struct ExportRow {
    std::string id;
    std::string received;
    std::string peer;
    std::string version;
    std::map<int, std::string> fields;
};

std::string export_tag_name(int tag) {
    char name[16];
    snprintf(name, sizeof name, "%03d", tag);
    return name;
}

std::string export_csv_cell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string export_json_string(const std::string& text) {
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

void export_print_csv(const ExportRow* row, const std::vector<int>& tags) {
    std::string line;
    if (!row) {
        line = "id,received,peer,version";
        for (int tag : tags) {
            line += "," + export_tag_name(tag);
        }
    } else {
        line = row->id + "," + export_csv_cell(row->received) + "," + export_csv_cell(row->peer) +
               "," + export_csv_cell(row->version);
        for (int tag : tags) {
            auto value = row->fields.find(tag);
            line += "," + (value == row->fields.end() ? "" : export_csv_cell(value->second));
        }
    }
    line += "\r\n";
    fwrite(line.data(), 1, line.size(), stdout);
}

void export_print_json(const ExportRow& row, const std::vector<int>& tags, bool first) {
    std::string line = std::string(first ? "" : ",\n") + "{\"id\": " + row.id +
                       ", \"received\": " + export_json_string(row.received) +
                       ", \"peer\": " + export_json_string(row.peer) +
                       ", \"version\": " + export_json_string(row.version);
    for (int tag : tags) {
        auto value = row.fields.find(tag);
        line += ", \"" + export_tag_name(tag) +
                "\": " + (value == row.fields.end() ? "null" : export_json_string(value->second));
    }
    line += "}";
    fwrite(line.data(), 1, line.size(), stdout);
}

bool export_tags(sqlite3* db, std::vector<int>* tags, std::string* error) {
    DatabaseStatement select =
        database_prepare(db, "SELECT DISTINCT tag FROM fields ORDER BY tag", error);
    if (!select) {
        return false;
    }
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        tags->push_back(sqlite3_column_int(select.get(), 0));
    }
    return true;
}

// Walks the registrations and their fields side by side, both in id order.
bool export_rows(sqlite3* db, const std::vector<int>& tags, bool json, std::string* error) {
    DatabaseStatement rows = database_prepare(
        db, "SELECT id, received, peer, version FROM registrations ORDER BY id", error);
    DatabaseStatement fields = database_prepare(
        db, "SELECT registration_id, tag, value FROM fields ORDER BY registration_id, position",
        error);
    if (!rows || !fields) {
        return false;
    }
    bool field_ready = sqlite3_step(fields.get()) == SQLITE_ROW;
    bool first = true;
    int status;
    while ((status = sqlite3_step(rows.get())) == SQLITE_ROW) {
        sqlite3_int64 id = sqlite3_column_int64(rows.get(), 0);
        ExportRow row{database_column_text(rows.get(), 0),
                      database_column_text(rows.get(), 1),
                      database_column_text(rows.get(), 2),
                      database_column_text(rows.get(), 3),
                      {}};
        for (; field_ready && sqlite3_column_int64(fields.get(), 0) <= id;
             field_ready = sqlite3_step(fields.get()) == SQLITE_ROW) {
            if (sqlite3_column_int64(fields.get(), 0) == id) {
                std::string value = database_column_text(fields.get(), 2);
                auto [at, added] = row.fields.emplace(sqlite3_column_int(fields.get(), 1), value);
                if (!added) {
                    at->second += "\n" + value;
                }
            }
        }
        if (json) {
            export_print_json(row, tags, first);
        } else {
            export_print_csv(&row, tags);
        }
        first = false;
    }
    if (status != SQLITE_DONE) {
        *error = std::string("cannot read the registrations: ") + sqlite3_errmsg(db);
        return false;
    }
    return true;
}

} // namespace

int export_main(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments, {{"--db", true}, {"--format", false}}, g_usage, &values,
                   &exit_code)) {
        return exit_code;
    }
    std::string format = values.count("--format") ? values["--format"] : "csv";
    if (format != "csv" && format != "json") {
        return args_usage_error("--format takes csv or json, not '" + format + "'", g_usage);
    }
    Database db;
    std::vector<int> tags;
    std::string error;
    // One read transaction: the tags and the rows come from the same moment.
    if (!database_open(values["--db"], false, &db, &error) ||
        !database_run(db.get(), "BEGIN", &error) || !export_tags(db.get(), &tags, &error)) {
        return args_fail(error);
    }
    bool json = format == "json";
    if (json) {
        fputs("[\n", stdout);
    } else {
        export_print_csv(nullptr, tags);
    }
    if (!export_rows(db.get(), tags, json, &error)) {
        return args_fail(error);
    }
    if (json) {
        fputs("\n]\n", stdout);
    }
    database_rollback(db.get());
    if (fflush(stdout) != 0 || ferror(stdout)) {
        return args_fail("cannot write the export");
    }
    return ARGS_EXIT_DONE;
}
