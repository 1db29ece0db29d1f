// A resolver for the host build: names and reverse names come from a table
// that the test fills, and every lookup is recorded.
#pragma once

#include <string>
#include <vector>

void socket_fake_reset();
void socket_fake_add_name(const char* name, const char* official, const unsigned char address[4]);
void socket_fake_add_reverse(const unsigned char address[4], const char* name);
// "name:<text>" or "address:<a.b.c.d>" per lookup, in order.
const std::vector<std::string>& socket_fake_lookups();
