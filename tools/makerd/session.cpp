#include "session.h"

#include <map>
#include <mutex>

#include "account.h"
#include "digest.h"

namespace {

struct SessionEntry {
    SessionInfo info;
    double opened;
    double last;
};

// Kept by the token's SHA-256, so that a lookup's timing tells nothing of the tokens.
std::string session_key(const std::string& token) {
    return digest_sha256_hex(token);
}

} // namespace

struct Sessions {
    std::mutex mutex;
    std::map<std::string, SessionEntry> entries;
};

Sessions* sessions_new() {
    return new Sessions;
}

void sessions_delete(Sessions* sessions) {
    delete sessions;
}

std::string sessions_open(Sessions* sessions, const std::string& account, double now) {
    std::string token = account_random_hex(32);
    std::lock_guard<std::mutex> lock(sessions->mutex);
    auto& entries = sessions->entries;
    if (entries.size() >= SESSION_LIMIT) {
        auto oldest = entries.begin();
        for (auto at = entries.begin(); at != entries.end(); ++at) {
            oldest = at->second.opened < oldest->second.opened ? at : oldest;
        }
        entries.erase(oldest);
    }
    entries[session_key(token)] = {{account, account_random_hex(32)}, now, now};
    return token;
}

bool sessions_find(Sessions* sessions, const std::string& token, double now, SessionInfo* info) {
    std::lock_guard<std::mutex> lock(sessions->mutex);
    auto found = sessions->entries.find(session_key(token));
    if (found == sessions->entries.end()) {
        return false;
    }
    SessionEntry& entry = found->second;
    if (now - entry.last > SESSION_IDLE || now - entry.opened > SESSION_LONGEST) {
        sessions->entries.erase(found);
        return false;
    }
    entry.last = now;
    *info = entry.info;
    return true;
}

void sessions_close(Sessions* sessions, const std::string& token) {
    std::lock_guard<std::mutex> lock(sessions->mutex);
    sessions->entries.erase(session_key(token));
}
