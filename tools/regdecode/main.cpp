// regdecode: prints the fields of a registration submission body.
//
//   regdecode [--json] [FILE]
//
// Reads the body from FILE or standard input. Prints one "tag value" line per
// field, or with --json one object with the head's numbers and the fields in
// record order (each byte of a value as the code point of the same number).
// Exit codes: 0 decoded, 1 malformed body (the reason on standard error),
// 2 wrong usage or unreadable input.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "decode.h"

namespace {

const size_t g_body_limit = 16u << 20;

const char g_usage[] =
    "usage: regdecode [--json] [FILE]\n"
    "Prints the fields of a registration submission body read from FILE or\n"
    "standard input: one \"tag value\" line per field, or with --json one object.\n"
    "Exit codes: 0 decoded, 1 malformed body, 2 wrong usage or unreadable input.\n";

int usage() {
    fputs(g_usage, stderr);
    return 2;
}

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

} // namespace

int main(int argc, char** argv) {
    int json = 0;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(g_usage, stdout);
            return 0;
        }
        if (strcmp(argv[i], "--json") == 0) {
            json = 1;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return usage();
        } else if (path) {
            return usage();
        } else {
            path = argv[i];
        }
    }
    FILE* file = stdin;
    if (path && strcmp(path, "-") != 0) {
        file = fopen(path, "rb");
        if (!file) {
            fprintf(stderr, "regdecode: cannot open '%s'\n", path);
            return 2;
        }
    }
    std::vector<char> body;
    int read = read_all(file, &body);
    if (file != stdin) {
        fclose(file);
    }
    if (!read) {
        fprintf(stderr, "regdecode: cannot read the body (or it exceeds %zu bytes)\n",
                g_body_limit);
        return 2;
    }
    std::unique_ptr<RegdecodeResult> result(new RegdecodeResult);
    if (!regdecode_body(body.data(), static_cast<int>(body.size()), result.get())) {
        fprintf(stderr, "regdecode: %s\n", result->error);
        return 1;
    }
    if (json) {
        print_json(*result);
    } else {
        print_lines(*result);
    }
    return 0;
}
