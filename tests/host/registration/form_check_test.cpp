#include "registration/form_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registration/registration_samples.h"

namespace {

TEST(RegistrationForm, ChoiceFromTheBoxesLaterTickWins) {
    struct Case {
        int yes, already, no, choice;
    } cases[] = {
        {0, 0, 0, UPDATES_NO_ANSWER}, {1, 0, 0, UPDATES_YES},     {0, 1, 0, UPDATES_ALREADY},
        {0, 0, 1, UPDATES_NO},        {1, 1, 0, UPDATES_ALREADY}, {1, 0, 1, UPDATES_NO},
        {1, 1, 1, UPDATES_NO},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.choice, registration_choice_from_boxes(c.yes, c.already, c.no))
            << c.yes << c.already << c.no;
    }
}

TEST(RegistrationForm, ProblemsInTheirOrder) {
    RegistrantDetails empty = {};
    EXPECT_STREQ("You must choose if you wish to receive updates or not.",
                 registration_form_problem(&empty));

    RegistrantDetails d = sample_registrant();
    EXPECT_EQ(nullptr, registration_form_problem(&d));
    d.update_choice = -1;
    EXPECT_STREQ(REGISTRATION_NO_CHOICE, registration_form_problem(&d));

    char(RegistrantDetails::*fields[])[REGISTRANT_FIELD_SIZE] = {
        &RegistrantDetails::first_name, &RegistrantDetails::last_name, &RegistrantDetails::city,
        &RegistrantDetails::state,      &RegistrantDetails::country,   &RegistrantDetails::zip_code,
        &RegistrantDetails::phone,
    };
    for (auto field : fields) {
        d = sample_registrant();
        (d.*field)[0] = '\0';
        EXPECT_STREQ("All fields must be filled in correctly.", registration_form_problem(&d));
    }
    d = sample_registrant();
    d.street_address[0] = '\0';
    EXPECT_STREQ(REGISTRATION_FIELDS_EMPTY, registration_form_problem(&d));
    d = sample_registrant();
    d.referral[0] = '\0';
    EXPECT_STREQ(REGISTRATION_FIELDS_EMPTY, registration_form_problem(&d));
    d = sample_registrant();
    d.email[0] = '\0'; // empty before malformed
    EXPECT_STREQ(REGISTRATION_FIELDS_EMPTY, registration_form_problem(&d));

    d = sample_registrant();
    strcpy(d.email, "jo@example");
    EXPECT_STREQ("The email address does not appear to be valid.", registration_form_problem(&d));

    d = sample_registrant();
    strcpy(d.city, "   "); // blanks count as filled
    d.update_choice = UPDATES_ALREADY;
    EXPECT_EQ(nullptr, registration_form_problem(&d));
}

TEST(RegistrationForm, VerificationIgnoresTheCaseOfLetters) {
    RegistrantDetails d = sample_registrant();
    EXPECT_EQ(1, registration_email_confirmed(&d, "JO@Example.COM"));
    EXPECT_EQ(0, registration_email_confirmed(&d, "jo@example.co"));
    EXPECT_EQ(0, registration_email_confirmed(&d, ""));
}

TEST(RegistrationForm, CaptionIsCutTo119Characters) {
    registration_caption_set("Acme", "Tool");
    EXPECT_STREQ("Acme Tool Registration...", g_registration_caption);
    std::string company(159, 'C');
    std::string product(159, 'P');
    registration_caption_set(company.c_str(), product.c_str());
    EXPECT_EQ(119u, strlen(g_registration_caption));
    EXPECT_EQ(company.substr(0, 119), g_registration_caption);
    std::string short_company(100, 'C');
    registration_caption_set(short_company.c_str(), "Tool");
    EXPECT_EQ(short_company + " Tool Registration.", g_registration_caption);
}

} // namespace
