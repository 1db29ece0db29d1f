// The console's pages, rendered on the server: HTML with no script, one
// stylesheet of its own (pages_stylesheet), charts as inline SVG. Every stored
// value goes through html.h where it is written.
#pragma once

#include <string>
#include <vector>

#include "releases.h"
#include "storage.h"

enum { PAGES_ROWS = 50, PAGES_DAYS = 90 };

// Who is signed in, for the header and its sign-out form.
struct PagesFrame {
    std::string account;
    std::string csrf;
};

const char* pages_stylesheet();

// The sign-in form; `csrf` goes with it, `message` above it when not "".
std::string pages_signin(const std::string& csrf, const std::string& message);

// Registrations per day and update checks per day for the PAGES_DAYS days up
// to `today` (YYYY-MM-DD), the totals of the tallies and each release's downloads.
std::string pages_overview(const PagesFrame& frame, const Tallies& tallies,
                           const std::vector<Release>& releases, const std::string& today);

// Page `page` (from 1) of the registrations found for `search`; `more` when a next page exists.
std::string pages_registrations(const PagesFrame& frame, const std::string& search, long long page,
                                const std::vector<Registration>& rows, bool more);

// Every field of one registration under its tag's meaning.
std::string pages_registration(const PagesFrame& frame, const Registration& registration);

// A page that says `message` under `title`, for a refusal or a failure in a session.
std::string pages_message(const PagesFrame& frame, const std::string& title,
                          const std::string& message);

// What the maker's guide calls field `tag`.
std::string pages_tag_meaning(int tag);
