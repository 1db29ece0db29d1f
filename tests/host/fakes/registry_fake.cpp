#include "fakes/registry_fake.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// An open handle names its key: the root's number, '\' and the folded path.
struct HKEY__ {
    std::string key;
};

namespace {

struct Value {
    std::string name;
    unsigned type;
    std::vector<unsigned char> data;
};

std::map<std::string, std::vector<Value>> g_keys;
int g_open = 0;

std::string fold(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string key_name(int root, const char* path) {
    return std::to_string(root >= 1 && root <= 6 ? root : REG_ROOT_CURRENT_USER) + "\\" +
           fold(path);
}

Value* find(RegKey key, const char* name) {
    for (Value& value : g_keys[key->key]) {
        if (fold(value.name) == fold(name)) {
            return &value;
        }
    }
    return nullptr;
}

} // namespace

void registry_fake_reset() {
    g_keys.clear();
    g_open = 0;
}

int registry_fake_open_keys() {
    return g_open;
}

void registry_fake_set_raw(RegKey key, const char* name, unsigned type, const void* data,
                           int length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    Value value{name, type, std::vector<unsigned char>(bytes, bytes + length)};
    Value* existing = find(key, name);
    if (existing) {
        *existing = {existing->name, type, value.data};
    } else {
        g_keys[key->key].push_back(value);
    }
}

int reg_open_key(RegKey* key, int root, const char* path) {
    std::string name = key_name(root, path);
    *key = g_keys.count(name) ? new HKEY__{name} : nullptr;
    g_open += *key != nullptr;
    return *key != nullptr;
}

int reg_create_key(RegKey* key, int root, const char* path) {
    g_keys[key_name(root, path)];
    return reg_open_key(key, root, path);
}

int reg_close_key(RegKey* key) {
    g_open -= *key != nullptr;
    delete *key;
    *key = nullptr;
    return 1;
}

// The script deletes only keys it has found.
int reg_delete_key(int root, const char* path) {
    return static_cast<int>(g_keys.erase(key_name(root, path)));
}

int reg_value_exists(RegKey key, const char* name) {
    return find(key, name) != nullptr;
}

int reg_enum_value(RegKey key, int index, char* name, int name_size, void* data, int data_size,
                   int* data_length, int* kind) {
    *data_length = data_size;
    const auto& values = g_keys[key->key];
    if (index < 0 || index >= static_cast<int>(values.size())) {
        return 0;
    }
    const Value& value = values[static_cast<size_t>(index)];
    if (static_cast<int>(value.name.size()) >= name_size ||
        static_cast<int>(value.data.size()) > data_size) {
        return 0;
    }
    memcpy(name, value.name.c_str(), value.name.size() + 1);
    std::copy(value.data.begin(), value.data.end(), static_cast<unsigned char*>(data));
    *data_length = static_cast<int>(value.data.size());
    *kind = reg_value_kind(value.type);
    return 1;
}

int reg_set_integer(RegKey key, const char* name, int value) {
    registry_fake_set_raw(key, name, FAKE_REG_DWORD, &value, sizeof value);
    return 1;
}

int reg_set_string(RegKey key, const char* name, const char* text) {
    registry_fake_set_raw(key, name, FAKE_REG_SZ, text, static_cast<int>(strlen(text)) + 1);
    return 1;
}
