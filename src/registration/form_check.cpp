#include "registration/form_check.h"

#include "core/log.h"
#include "core/text.h"
#include "registration/email.h"

char g_registration_caption[REGISTRATION_CAPTION_SIZE];

int registration_caption_set(const char* company_name, const char* product_name) {
    CORE_ASSERT_POINTER(company_name);
    CORE_ASSERT_POINTER(product_name);
    text_format(g_registration_caption, sizeof g_registration_caption, "%s %s Registration...",
                company_name, product_name);
    return 1;
}

int registration_choice_from_boxes(int yes, int already, int no) {
    int choice = UPDATES_NO_ANSWER;
    if (yes) {
        choice = UPDATES_YES;
    }
    if (already) {
        choice = UPDATES_ALREADY;
    }
    if (no) {
        choice = UPDATES_NO;
    }
    return choice;
}

const char* registration_form_problem(const RegistrantDetails* details) {
    CORE_ASSERT_POINTER(details);
    if (details->update_choice <= UPDATES_NO_ANSWER) {
        return REGISTRATION_NO_CHOICE;
    }
    const char* fields[] = {details->first_name, details->last_name, details->street_address,
                            details->city,       details->state,     details->country,
                            details->zip_code,   details->email,     details->phone,
                            details->referral};
    for (const char* field : fields) {
        if (field[0] == '\0') {
            return REGISTRATION_FIELDS_EMPTY;
        }
    }
    if (!email_address_valid(details->email)) {
        return REGISTRATION_EMAIL_INVALID;
    }
    return nullptr;
}

int registration_email_confirmed(const RegistrantDetails* details, const char* entered) {
    CORE_ASSERT_POINTER(details);
    CORE_ASSERT_POINTER(entered);
    return text_equal_nocase(entered, details->email);
}
