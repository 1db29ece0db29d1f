// A string is cut to the buffer; the lookup's order, types, limits and log are the Win32 tests'.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/registry_fake.h"

namespace {

TEST(Registry, AStringIsCutToTheBufferAndNamesCompareExactly) {
    registry_fake_reset();
    RegKey key = nullptr;
    ASSERT_EQ(1, reg_create_key(&key, REG_ROOT_LOCAL_MACHINE, "Software\\Acme"));
    reg_set_string(key, "Long", std::string(150, 'z').c_str());
    std::string cut(12, '#');
    EXPECT_EQ(1, reg_get_string(key, "Long", &cut[0], 10));
    EXPECT_EQ(std::string(9, 'z') + std::string("\0##", 3), cut);
    EXPECT_EQ(0, reg_get_string(key, "long", &cut[0], 10)); // names compared exactly
    reg_close_key(&key);
    EXPECT_EQ(0, registry_fake_open_keys());
}

} // namespace
