// The maker's console under /console/, served once an account exists (makerd
// user add):
//
//   GET  /console/                    overview: registrations per day, totals, downloads
//   GET  /console/registrations       ?q=TEXT&page=N: newest first, PAGES_ROWS a page
//   GET  /console/registrations/ID    one registration, every field
//   GET  /console/export.csv|.json    the table of makerd export, as a download
//   GET  /console/signin, POST /console/signin (fields user, password, csrf)
//   POST /console/signout             (field csrf)
//   GET  /console/console.css         the one stylesheet
//
// Without a session every page and export answers 303 to /console/signin. A
// session is a cookie (HttpOnly, SameSite=Strict, Secure behind TLS); each
// form carries a CSRF token, and a POST without the right one is refused
// (403). Failed sign-ins are slowed down per account and per address (429).
// Every answer forbids any script, style, font or image from elsewhere.
//
// Only over TLS: behind a proxy that says "X-Forwarded-Proto: https" (its
// X-Real-IP is then the client's address), or straight from this machine.
// Anything else is refused (403), so that no password or cookie crosses a
// network in clear.
#pragma once

#include <httplib.h>

#include <string>

#include "writer.h"

struct Console;

// The console of the database `db_path`, whose counts are written by `writer`.
Console* console_new(const std::string& db_path, Writer* writer);
void console_delete(Console* console);

// Adds the console's routes to `server`.
void console_routes(Console* console, httplib::Server* server);
