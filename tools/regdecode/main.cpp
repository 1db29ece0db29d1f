// regdecode: prints the fields of a registration submission body.
//
//   regdecode [decode] [--json] [FILE]
//
// Reads the body from FILE or standard input. Prints one "tag value" line per
// field, or with --json one object with the head's numbers and the fields in
// record order (each byte of a value as the code point of the same number).
// Exit codes: 0 decoded, 1 unreadable input or malformed body (the reason on
// standard error), 2 wrong usage (args.h).
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "args.h"
#include "decode.h"

namespace {

const size_t g_body_limit = 16u << 20;

#define DECODE_HELP                                                                                \
    "  regdecode [decode] [--json] [FILE]\n"                                                       \
    "      Prints the fields of a registration submission body read from FILE or\n"                \
    "      standard input: one \"tag value\" line per field, or with --json one object.\n"

const char g_decode_usage[] = "Usage:\n" DECODE_HELP;

int read_all(FILE* file, std::vector<char>* body) {
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        body->insert(body->end(), chunk, chunk + got);
        if (body->size() > g_body_limit) {
            return 0;
        }
    }
    return !ferror(file);
}

void print_json_string(const unsigned char* text, int length) {
    putchar('"');
    for (int i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (c == '"' || c == '\\') {
            printf("\\%c", c);
        } else if (c < 0x20 || c >= 0x7F) {
            printf("\\u%04x", c);
        } else {
            putchar(c);
        }
    }
    putchar('"');
}

void print_json(const RegdecodeResult& result) {
    printf("{\"version\": ");
    print_json_string(reinterpret_cast<const unsigned char*>(result.version),
                      static_cast<int>(strlen(result.version)));
    printf(", \"record_length\": %d, \"encoded_length\": %d, \"crc\": \"%08X\", \"fields\": [",
           result.record_length, result.encoded_length, result.crc);
    for (int i = 0; i < result.field_count; ++i) {
        const RegdecodeField& field = result.fields[i];
        printf("%s{\"tag\": \"%03d\", \"value\": ", i ? ", " : "", field.tag);
        print_json_string(result.record + field.offset, field.length);
        putchar('}');
    }
    printf("]}\n");
}

void print_lines(const RegdecodeResult& result) {
    for (int i = 0; i < result.field_count; ++i) {
        const RegdecodeField& field = result.fields[i];
        printf("%03d ", field.tag);
        fwrite(result.record + field.offset, 1, static_cast<size_t>(field.length), stdout);
        putchar('\n');
    }
}

int decode(int count, char** arguments) {
    std::map<std::string, std::string> values;
    int exit_code = ARGS_EXIT_DONE;
    if (!args_read(count, arguments, {{"--json", false, ARGS_FLAG}, {"FILE", false, ARGS_OPERAND}},
                   g_decode_usage, &values, &exit_code)) {
        return exit_code;
    }
    const std::string path = values["FILE"];
    FILE* file = stdin;
    if (!path.empty() && path != "-") {
        file = fopen(path.c_str(), "rb");
        if (!file) {
            return args_fail("cannot open '" + path + "'");
        }
    }
    std::vector<char> body;
    int read = read_all(file, &body);
    if (file != stdin) {
        fclose(file);
    }
    if (!read) {
        return args_fail("cannot read the body (or it exceeds " + std::to_string(g_body_limit) +
                         " bytes)");
    }
    std::unique_ptr<RegdecodeResult> result(new RegdecodeResult);
    if (!regdecode_body(body.data(), static_cast<int>(body.size()), result.get())) {
        return args_fail(result->error);
    }
    if (values.count("--json")) {
        print_json(*result);
    } else {
        print_lines(*result);
    }
    return ARGS_EXIT_DONE;
}

} // namespace

int main(int argc, char** argv) {
    const ArgsTool regdecode = {"regdecode",
                                "1.0",
                                {{"decode", DECODE_HELP, decode}},
                                "The command's name may be left out.\n",
                                "decode"};
    return args_main(regdecode, argc, argv);
}
