#include "fakes/registry_fake.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/log.h"

// An open handle names its key by the path under the selected root.
struct HKEY__ {
    std::string key;
};

namespace {

struct Value {
    std::string name;
    unsigned type;
    std::vector<unsigned char> data;
};

std::map<std::string, std::vector<Value>>& keys() {
    static std::map<std::string, std::vector<Value>> store;
    return store;
}

int g_open = 0;

std::string fold(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int root_number(int root) {
    return root >= 1 && root <= 6 ? root : REG_ROOT_CURRENT_USER;
}

std::string key_name(int root, const char* path) {
    return std::to_string(root_number(root)) + "\\" + fold(path);
}

RegKey open_handle(const std::string& key) {
    ++g_open;
    return new HKEY__{key};
}

int same_name(const std::string& a, const char* b) {
    return fold(a) == fold(b);
}

void store_value(RegKey key, const char* name, unsigned type, const void* data, int length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    Value value{name, type, std::vector<unsigned char>(bytes, bytes + length)};
    auto& values = keys()[key->key];
    for (auto& existing : values) {
        if (same_name(existing.name, name)) {
            existing.type = type;
            existing.data = value.data;
            return;
        }
    }
    values.push_back(value);
}

} // namespace

void registry_fake_reset() {
    keys().clear();
    g_open = 0;
}

int registry_fake_open_keys() {
    return g_open;
}

void registry_fake_set_raw(RegKey key, const char* name, unsigned type, const void* data,
                           int length) {
    store_value(key, name, type, data, length);
}

RegKey reg_root_key(int root) {
    static HKEY__ roots[7];
    return &roots[root_number(root)];
}

int reg_open_key(RegKey* key, int root, const char* path) {
    CORE_ASSERT_POINTER(key);
    *key = nullptr;
    std::string name = key_name(root, path);
    if (keys().count(name) == 0) {
        return 0;
    }
    *key = open_handle(name);
    return 1;
}

int reg_create_key(RegKey* key, int root, const char* path) {
    CORE_ASSERT_POINTER(key);
    // Every key on the way is created too.
    std::string name = key_name(root, path);
    for (size_t end = name.find('\\', name.find('\\') + 1); end != std::string::npos;
         end = name.find('\\', end + 1)) {
        keys()[name.substr(0, end)];
    }
    keys()[name];
    *key = open_handle(name);
    return 1;
}

int reg_close_key(RegKey* key) {
    CORE_ASSERT_POINTER(key);
    if (*key) {
        --g_open;
        delete *key;
    }
    *key = nullptr;
    return 1;
}

int reg_delete_key(int root, const char* path) {
    std::string name = key_name(root, path);
    unsigned result = 0;
    if (keys().count(name) == 0) {
        result = 2; // ERROR_FILE_NOT_FOUND
    } else {
        std::string below = name + "\\";
        auto child = keys().lower_bound(below);
        if (child != keys().end() && child->first.compare(0, below.size(), below) == 0) {
            result = 5; // ERROR_ACCESS_DENIED: the key has subkeys
        }
    }
    if (result != 0) {
        log_printf("Unable to delete key '%s'(0x%.8X)\n", path, result);
        return 0;
    }
    keys().erase(name);
    return 1;
}

int reg_value_exists(RegKey key, const char* name) {
    for (const auto& value : keys()[key->key]) {
        if (same_name(value.name, name)) {
            return 1;
        }
    }
    return 0;
}

int reg_enum_value(RegKey key, int index, char* name, int name_size, void* data, int data_size,
                   int* data_length, int* kind) {
    *data_length = data_size;
    const auto& values = keys()[key->key];
    if (index < 0 || static_cast<size_t>(index) >= values.size()) {
        return 0;
    }
    const Value& value = values[static_cast<size_t>(index)];
    if (static_cast<int>(value.name.size()) >= name_size ||
        static_cast<int>(value.data.size()) > data_size) {
        return 0;
    }
    memcpy(name, value.name.c_str(), value.name.size() + 1);
    if (!value.data.empty()) {
        memcpy(data, value.data.data(), value.data.size());
    }
    *data_length = static_cast<int>(value.data.size());
    *kind = reg_value_kind(value.type);
    return 1;
}

int reg_set_integer(RegKey key, const char* name, int value) {
    store_value(key, name, FAKE_REG_DWORD, &value, sizeof value);
    return 1;
}

int reg_set_string(RegKey key, const char* name, const char* text) {
    store_value(key, name, FAKE_REG_SZ, text, static_cast<int>(strlen(text)) + 1);
    return 1;
}
