// The registration form's checks, in the order in which the user hears of
// them, and the shared caption of the form, its verification and its boxes.
#pragma once

#include "registration/registrant.h"

enum { REGISTRATION_CAPTION_SIZE = 120 };

extern char g_registration_caption[REGISTRATION_CAPTION_SIZE];

// "%s %s Registration..." with the company and product names, cut to fit.
// Returns 1.
int registration_caption_set(const char* company_name, const char* product_name);

// The choice that the three boxes give, tested as yes, already, no: a later
// tick wins.
int registration_choice_from_boxes(int yes, int already, int no);

// The message of the first check that the details fail, or null when they
// pass: a choice made, all ten texts filled (blanks count), an e-mail address
// of acceptable shape.
const char* registration_form_problem(const RegistrantDetails* details);

// 1 when the re-entered address matches the form's, ASCII letters compared
// without regard to case.
int registration_email_confirmed(const RegistrantDetails* details, const char* entered);

#define REGISTRATION_NO_CHOICE "You must choose if you wish to receive updates or not."
#define REGISTRATION_FIELDS_EMPTY "All fields must be filled in correctly."
#define REGISTRATION_EMAIL_INVALID "The email address does not appear to be valid."
#define REGISTRATION_EMAIL_MISMATCH                                                                \
    "The email address you entered does not match, please check your email address again"
#define REGISTRATION_DECLINE_QUESTION "Are you sure you don't want to register?"
