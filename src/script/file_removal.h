// Removing files and the folders they leave empty.
#pragma once

// Size of the folder buffer that removal works in.
enum { REMOVAL_FOLDER_SIZE = 320 };

// Logs and deletes the file at `path` (a failure is logged and passed over),
// then removes its folder and the folders above it while they are empty.
// Returns 1.
int delete_file(const char* path);

// delete_file while walking a list: `next` (or null) is the full path that
// the walk deletes next. When it lies in the same folder and still exists,
// the folder holds an entry and is not listed: the outcome is the same, and
// removing a big folder's files stays linear.
int delete_file_before(const char* path, const char* next);

// Removes `folder` when it holds no entries ("." and names beginning with
// ".." do not count), then its parent, and so on upward, never a drive root.
// Returns 0 when `folder` itself cannot be listed or removed; the steps above
// it do not change the result.
int remove_empty_dirs(const char* folder);

// Whether a path starts with a drive and a separator, or is a network name.
int path_is_full(const char* path);

// Whether a path may be handed to a deletion or to the loader: it was not cut
// short to fit its buffer (`whole` is 1) and it is a full path, with a drive
// or a network name, so that nothing is taken relative to the current folder.
// Otherwise logs why and returns 0.
int path_is_usable(const char* path, int whole);
