// makerd export: every registration, one row each, as CSV or JSON (listing.h).
#include <cstdio>
#include <map>

#include "args.h"
#include "commands.h"
#include "listing.h"
#include "storage.h"

namespace {

const char g_usage[] =
    "Usage: makerd export --db FILE [--format csv|json]\n"
    "  Prints every registration in the order received: id, received (UTC),\n"
    "  peer, version, then one column per field tag seen in any registration\n"
    "  (\"001\", \"101\", ...), in tag order. A tag that a registration repeats\n"
    "  holds its values joined by line feeds. CSV (the default) is quoted as\n"
    "  RFC 4180 says, its bytes as received, except that a cell starting with\n"
    "  '=', '+', '-', '@', a tab or a carriage return is quoted with an\n"
    "  apostrophe before it, so that no spreadsheet takes it as a formula. JSON\n"
    "  is an array of objects with the same keys, null for a tag that a\n"
    "  registration lacks, the bytes exact: each byte outside printable ASCII\n"
    "  written as the character of that number (\\u00XX).\n";

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
    std::string error;
    if (!storage_open(values["--db"], false, &db, &error) ||
        !listing_write(
            db.get(), format == "json" ? LISTING_JSON : LISTING_CSV,
            [](const std::string& text) {
                fwrite(text.data(), 1, text.size(), stdout);
                return true;
            },
            &error)) {
        return args_fail(error);
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        return args_fail("cannot write the export");
    }
    return ARGS_EXIT_DONE;
}
