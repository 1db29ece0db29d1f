// Script runs against the fakes of a typical machine: Program Files at
// C:\Program Files\ (with another product in it), the in-memory drive, the
// registry, the shell's Programs folder and the libraries, all empty of the
// product until a test installs it.
#pragma once

#include <string>

#include "core/text.h"
#include "fakes/files_fake.h"
#include "fakes/library_fake.h"
#include "fakes/paths_fake.h"
#include "fakes/registry_fake.h"
#include "fakes/shell_folder_fake.h"
#include "fakes/window_fake.h"
#include "platform/registry.h"
#include "script/script_fixture.h"
#include "script/shortcuts.h"

class UninstallTest : public ScriptTest {
  public:
    static std::string command(const std::string& line) { return "\x16" + line + "\r\n"; }

  protected:
    void SetUp() override {
        ScriptTest::SetUp();
        files_fake_reset();
        library_fake_reset();
        paths_fake_reset();
        registry_fake_reset();
        shell_folder_fake_reset();
        window_fake_reset();
        current_group_clear();
        set_string(REG_ROOT_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                   "ProgramFilesDir", "C:\\Program Files");
        files_fake_add_file("C:\\Program Files\\Other\\other.exe");
    }
    void TearDown() override {
        EXPECT_EQ(0, registry_fake_open_keys());
        EXPECT_EQ(0, library_fake_loaded());
        ScriptTest::TearDown();
    }

    static void set_string(int root, const char* key_path, const char* name, const char* value) {
        RegKey key = nullptr;
        reg_create_key(&key, root, key_path);
        if (name) {
            reg_set_string(key, name, value);
        }
        reg_close_key(&key);
    }
};
