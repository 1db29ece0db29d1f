#include "throttle.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace {

struct ThrottleEntry {
    int failures = 0;
    double last = 0;
};

} // namespace

struct Throttle {
    std::mutex mutex;
    std::map<std::string, ThrottleEntry> keys;
};

Throttle* throttle_new() {
    return new Throttle;
}

void throttle_delete(Throttle* throttle) {
    delete throttle;
}

long throttle_wait(Throttle* throttle, const std::string& key, double now) {
    std::lock_guard<std::mutex> lock(throttle->mutex);
    auto found = throttle->keys.find(key);
    if (found == throttle->keys.end() || found->second.failures < THROTTLE_FREE) {
        return 0;
    }
    double delay =
        std::min<double>(THROTTLE_LONGEST, std::ldexp(static_cast<double>(THROTTLE_FIRST),
                                                      found->second.failures - THROTTLE_FREE));
    return std::max(0L, static_cast<long>(std::ceil(found->second.last + delay - now)));
}

void throttle_failed(Throttle* throttle, const std::string& key, double now) {
    std::lock_guard<std::mutex> lock(throttle->mutex);
    auto& keys = throttle->keys;
    if (keys.size() >= THROTTLE_KEYS && keys.count(key) == 0) {
        auto oldest = keys.begin();
        for (auto at = keys.begin(); at != keys.end();) {
            if (at->second.last + THROTTLE_FORGET < now) {
                at = keys.erase(at);
                continue;
            }
            oldest = at->second.last < oldest->second.last ? at : oldest;
            ++at;
        }
        if (keys.size() >= THROTTLE_KEYS) {
            keys.erase(oldest);
        }
    }
    ThrottleEntry& entry = keys[key];
    if (entry.last + THROTTLE_FORGET < now) {
        entry.failures = 0;
    }
    ++entry.failures;
    entry.last = now;
}

void throttle_succeeded(Throttle* throttle, const std::string& key) {
    std::lock_guard<std::mutex> lock(throttle->mutex);
    throttle->keys.erase(key);
}
