#include "update/update_info.h"

#include "core/log.h"
#include "core/text.h"
#include "script/install_state.h"

namespace {

int is_control(char c) {
    return static_cast<unsigned char>(c) < 0x20;
}

void clear_record(UpdateRecord* record) {
    record->key[0] = '\0';
    record->version[0] = '\0';
    record->page_url[0] = '\0';
    record->signature[0] = '\0';
}

} // namespace

// Digits, a '.', digits; a second '.' ends the number. Read here rather than
// by the C library's strtod, whose MinGW version alone would double the stub.
// Equal numbers read equal (1.5 and 1.50), and larger ones never read smaller.
int update_version_number(double* number, char* text) {
    CORE_ASSERT_POINTER(number);
    CORE_ASSERT_POINTER(text);
    int end = 0;
    while (text_is_digit(text[end]) || text[end] == '.') {
        ++end;
    }
    text[end] = '\0';
    double whole = 0.0;
    int at = 0;
    for (; text_is_digit(text[at]); ++at) {
        whole = whole * 10.0 + (text[at] - '0');
    }
    double fraction = 0.0;
    double scale = 1.0;
    if (text[at] == '.') {
        for (++at; text_is_digit(text[at]); ++at) {
            fraction = fraction * 10.0 + (text[at] - '0');
            scale *= 10.0;
        }
    }
    *number = whole + fraction / scale;
    return 1;
}

int update_read_field(const char** position, char* value, int size) {
    CORE_ASSERT_POINTER(position);
    CORE_ASSERT_POINTER(*position);
    CORE_ASSERT_POINTER(value);
    const char* at = *position;
    int length = 0;
    for (; !is_control(at[length]); ++length) {
        if (length + 1 >= size) {
            return 0;
        }
        value[length] = at[length];
    }
    value[length] = '\0';
    *position = at + length;
    return 1;
}

int update_scan(const char* answer, const char* product_key, UpdateRecord* record) {
    CORE_ASSERT_POINTER(answer);
    CORE_ASSERT_POINTER(product_key);
    CORE_ASSERT_POINTER(record);
    const char* at = answer;
    while (*at != '\0') {
        if (*at != UPDATE_FIELD_MARK) {
            ++at;
            continue;
        }
        char type = at[1];
        if (type == '\0') {
            return 0;
        }
        const char* value = at + 2;
        int read = 1;
        switch (type) {
        case '0':
            if (text_equal_nocase(record->key, product_key)) {
                return 1;
            }
            value = at + 1;
            break;
        case '1':
            clear_record(record);
            read = update_read_field(&value, record->key, sizeof record->key);
            break;
        case '2':
            read = update_read_field(&value, record->version, sizeof record->version) &&
                   update_version_number(&record->remote_version, record->version);
            break;
        case '3':
            read = update_read_field(&value, record->page_url, sizeof record->page_url);
            break;
        case '4':
            read = update_read_field(&value, record->download_url, sizeof record->download_url);
            break;
        case '5':
            read = update_read_field(&value, record->signature, sizeof record->signature);
            break;
        default: {
            char unknown[UPDATE_URL_SIZE];
            read = update_read_field(&value, unknown, sizeof unknown);
            if (read) {
                log_printf("Unknown '%s'\n", unknown);
            }
            break;
        }
        }
        if (!read) {
            return 0;
        }
        at = value;
    }
    return 0;
}

int update_find_product(InstallState* state, const char* answer, UpdateRecord* record, int* newer) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(record);
    CORE_ASSERT_POINTER(newer);
    *newer = 0;
    char key[UPDATE_KEY_SIZE];
    text_format(key, sizeof key, "%s %s", state->company_name, state->product_name);
    double local = 0.0;
    update_version_number(&local, state->product_version);
    clear_record(record);
    record->download_url[0] = '\0';
    record->remote_version = 0.0;
    if (!update_scan(answer, key, record)) {
        return 0;
    }
    log_printf("Match: %f %f\n", local, record->remote_version);
    *newer = local < record->remote_version;
    return 1;
}
