// The console's sessions, in memory: a sign-in gives a random 256-bit token
// for the cookie and another for the forms (CSRF). A session ends when signed
// out, SESSION_IDLE seconds after its last request, SESSION_LONGEST seconds
// after the sign-in, and with the server. Safe from any thread.
#pragma once

#include <string>

enum {
    SESSION_IDLE = 30 * 60,
    SESSION_LONGEST = 12 * 60 * 60,
    SESSION_LIMIT = 1000, // beyond, the oldest sign-in ends
};

struct SessionInfo {
    std::string account;
    std::string csrf;
};

struct Sessions;

Sessions* sessions_new();
void sessions_delete(Sessions* sessions);

// A new session of `account` at `now` (seconds): its cookie's token.
std::string sessions_open(Sessions* sessions, const std::string& account, double now);

// The live session of `token` at `now`, which counts as its last request.
bool sessions_find(Sessions* sessions, const std::string& token, double now, SessionInfo* info);

void sessions_close(Sessions* sessions, const std::string& token);
