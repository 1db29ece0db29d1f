// What the network tests share: the library started once, the address of the
// maker's test server (tests/e2e/maker_server.py runs around the program), and
// a log file per test.
#pragma once

#include <string>

struct SocketRecord;

extern const unsigned char g_loopback[4];

// The port in MAKER_SERVER_PORT; the test fails when it is not set.
int maker_port();
std::string maker_url(const std::string& path);

// Opens a TCP socket on a fresh record and connects it to the maker's server.
SocketRecord* maker_connect();
// Sends a GET of `path` and reads the whole answer.
std::string maker_get(const std::string& path);
