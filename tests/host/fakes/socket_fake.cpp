#include "fakes/socket_fake.h"

#include <cstdio>
#include <cstring>

#include "net/socket.h"

namespace {

struct Entry {
    std::string name;
    std::string official;
    unsigned char address[4];
};

std::vector<Entry> g_names;
std::vector<Entry> g_reverse;
std::vector<std::string> g_lookups;

std::string dotted(const unsigned char address[4]) {
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

// As the system resolver does: the whole record is rewritten.
int fill(HostRecord* host, const Entry& entry) {
    memset(host, 0, sizeof *host);
    snprintf(host->name, sizeof host->name, "%s", entry.official.c_str());
    memcpy(host->address, entry.address, 4);
    return 1;
}

} // namespace

void socket_fake_reset() {
    g_names.clear();
    g_reverse.clear();
    g_lookups.clear();
}

void socket_fake_add_name(const char* name, const char* official, const unsigned char address[4]) {
    Entry entry{name, official, {}};
    memcpy(entry.address, address, 4);
    g_names.push_back(entry);
}

void socket_fake_add_reverse(const unsigned char address[4], const char* name) {
    Entry entry{dotted(address), name, {}};
    memcpy(entry.address, address, 4);
    g_reverse.push_back(entry);
}

const std::vector<std::string>& socket_fake_lookups() {
    return g_lookups;
}

int sock_host_by_name(HostRecord* host, const char* name) {
    g_lookups.push_back(std::string("name:") + name);
    for (const Entry& entry : g_names) {
        if (entry.name == name) {
            return fill(host, entry);
        }
    }
    return 0;
}

int sock_host_by_address(HostRecord* host, const unsigned char address[4]) {
    g_lookups.push_back("address:" + dotted(address));
    for (const Entry& entry : g_reverse) {
        if (entry.name == dotted(address)) {
            return fill(host, entry);
        }
    }
    return 0;
}
