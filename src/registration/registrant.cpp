#include "registration/registrant.h"

#include <cstddef>
#include <cstring>

#include "core/log.h"
#include "driver/identity.h"
#include "platform/registry.h"

RegistrantDetails g_registrant;

namespace {

struct StoredText {
    const char* name;
    size_t offset;
    int size;
};

#define REGISTRANT_TEXT(name, field)                                                               \
    { name, offsetof(RegistrantDetails, field), sizeof(RegistrantDetails::field) }

// The stored texts in the order in which they are read and written; the
// referral is sent but never stored.
const StoredText g_stored[] = {
    REGISTRANT_TEXT("First Name", first_name),
    REGISTRANT_TEXT("Last Name", last_name),
    REGISTRANT_TEXT("Address", street_address),
    REGISTRANT_TEXT("City", city),
    REGISTRANT_TEXT("State", state),
    REGISTRANT_TEXT("Country", country),
    REGISTRANT_TEXT("Zip", zip_code),
    REGISTRANT_TEXT("Email", email),
    REGISTRANT_TEXT("Phone", phone),
};

const char* const g_choice_name = "ListServer";

char* field_of(const StoredText& text) {
    return reinterpret_cast<char*>(&g_registrant) + text.offset;
}

} // namespace

int registrant_clear() {
    memset(&g_registrant, 0, sizeof g_registrant);
    return 1;
}

int registrant_load() {
    registrant_clear();
    if (!reg_key_exists(REG_ROOT_CURRENT_USER, PROGRAM_MAKER_KEY)) {
        registrant_save();
    }
    RegKey key = nullptr;
    if (!reg_open_key(&key, REG_ROOT_CURRENT_USER, PROGRAM_MAKER_KEY)) {
        CORE_ABORT("Unable to open key\n");
    }
    // A missing value leaves its field cleared; a longer one is cut to the field.
    for (const StoredText& text : g_stored) {
        reg_get_string(key, text.name, field_of(text), text.size);
    }
    reg_get_integer(key, g_choice_name, &g_registrant.update_choice);
    reg_close_key(&key);
    return 1;
}

int registrant_save() {
    RegKey key = nullptr;
    if (reg_key_exists(REG_ROOT_CURRENT_USER, PROGRAM_MAKER_KEY)) {
        if (!reg_open_key(&key, REG_ROOT_CURRENT_USER, PROGRAM_MAKER_KEY)) {
            CORE_ABORT("Unable to open key\n");
        }
    } else if (!reg_create_key(&key, REG_ROOT_CURRENT_USER, PROGRAM_MAKER_KEY)) {
        CORE_ABORT("Unable to create key\n");
    }
    // A failed write is logged by the registry layer and does not stop the others.
    for (const StoredText& text : g_stored) {
        reg_set_string(key, text.name, field_of(text));
    }
    reg_set_integer(key, g_choice_name, g_registrant.update_choice);
    reg_close_key(&key);
    return 1;
}
