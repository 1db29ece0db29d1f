// The product's program group in the Start menu and the shortcuts in it.
//
// Shortcuts are plain files named after their item with ".lnk", in the group
// folder: the Programs folder, '\' and the group's name. The uninstall run
// deletes them; the other runs only remember where the registration shortcut
// lies.
#pragma once

// Size of the group folder and shortcut path buffers.
enum { SHORTCUT_PATH_SIZE = 260 };

// Forgets the current group: ADD ITEM then refers to the Programs folder
// itself. Done whenever OLE starts. Returns 1.
int current_group_clear();

// The group that the following ADD ITEM commands refer to.
const char* current_group();

// The group folder of `group` into `folder` (`size` bytes). Returns 0 when it
// had to be cut short to fit.
int group_folder(const char* group, char* folder, int size);

// The shortcut path of `item` in the current group. Returns 0 when cut short.
int shortcut_path(char* path, int size, const char* item);

// Logs the group folder and makes `group` the current group. Returns 1.
int set_group(const char* group);

// Logs the item and deletes its shortcut file with the folders it empties.
// Returns 1.
int remove_item(const char* target, const char* arguments, const char* item);
