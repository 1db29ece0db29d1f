// The registrant's details: one program-wide record, kept between runs under
// the maker's key in the current user's registry, shared by every product of
// this setup engine.
#pragma once

// The answer to whether the user wants to hear of updates and new releases;
// stored as "ListServer".
enum UpdateChoice {
    UPDATES_NO_ANSWER = 0, // not answered yet, and the cleared state
    UPDATES_YES = 1,
    UPDATES_ALREADY = 2, // already on the mailing list
    UPDATES_NO = 3,
};

enum {
    REGISTRANT_FIELD_SIZE = 80,
    REGISTRANT_ADDRESS_SIZE = 160,
    REGISTRANT_REFERRAL_SIZE = 320,
};

struct RegistrantDetails {
    int update_choice; // an UpdateChoice
    char first_name[REGISTRANT_FIELD_SIZE];
    char last_name[REGISTRANT_FIELD_SIZE];
    char street_address[REGISTRANT_ADDRESS_SIZE];
    char city[REGISTRANT_FIELD_SIZE];
    char state[REGISTRANT_FIELD_SIZE];
    char country[REGISTRANT_FIELD_SIZE];
    char zip_code[REGISTRANT_FIELD_SIZE];
    char email[REGISTRANT_FIELD_SIZE];
    char phone[REGISTRANT_FIELD_SIZE];
    char referral[REGISTRANT_REFERRAL_SIZE]; // sent with the registration, never stored
};

extern RegistrantDetails g_registrant;

// Empties every text and sets the choice to UPDATES_NO_ANSWER. Returns 1.
int registrant_clear();

// Clears the record and reads the stored details; a missing key is created
// with the empty record first. Returns 1; a key that cannot be opened is a
// fatal stop.
int registrant_load();

// Writes the nine stored texts and "ListServer", creating the key if needed.
// Returns 1; a key that can be neither opened nor created is a fatal stop.
int registrant_save();
