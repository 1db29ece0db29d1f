#include "registration/email.h"

#include <gtest/gtest.h>

namespace {

TEST(EmailAddress, ShapeRules) {
    struct Case {
        const char* text;
        int valid;
    } cases[] = {
        {"jo@mail.example.com", 1},
        {"j@a.bc", 1}, // exactly four bytes after the "@"
        {"j@a.b", 0},  // three
        {"j@ab.c", 1},
        {"jo@host9.example.com", 1}, // digits in earlier labels
        {"jo@example.c0m", 0},       // a digit in the last label
        {"jo@10.0.0.1", 0},          // numeric host
        {"jo@example.com1", 0},
        {"jo1@example.com", 1},   // digits before the "@" are forgotten at the "."
        {"@example.com", 0},      // "@" first
        {"jo@.example.com", 0},   // "." right after the "@"
        {"jo..x@example.com", 0}, // ".." before the "@"
        {"jo@example..com", 0},   // ".." after it
        {"jo@ex@ample.com", 0},   // a second "@"
        {"jo@ex+ample.com", 0},   // "+" after the "@"
        {"jo@ex_ample.com", 0},   // "_" after the "@"
        {"jo @example.com", 0},   // a blank
        {"jo@example.com ", 0},
        {"jo@exa!mple.com", 0},
        {"j\xE9@example.com", 0},   // a byte outside ASCII
        {".jo@example.com", 1},     // "." first
        {"jo.@example.com", 1},     // "." right before the "@"
        {"j+o_x@example.com", 1},   // "+" and "_" before the "@"
        {"-jo@-ex-ample-.c-om", 1}, // "-" anywhere
        {"jo@example.com.", 1},     // "." last
        {"jo@examplecom", 0},       // no "." after the "@"
        {"jo.x@examplecom", 0},     // a "." only before it
        {"jo@", 0},
        {"jo", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.valid, email_address_valid(c.text)) << "'" << c.text << "'";
    }
}

} // namespace
