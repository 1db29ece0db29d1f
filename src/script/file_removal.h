// Removing files and the folders they leave empty.
#pragma once

// Size of the folder buffer that removal works in; how many of the paths
// that stay are kept by name.
enum { REMOVAL_FOLDER_SIZE = 320, REMOVAL_NAMED = 3 };

// What a removal could not delete: every such file or folder is counted, the
// first REMOVAL_NAMED are kept by name (cut to fit) for the final notice.
struct RemovalLeftovers {
    int count;
    char names[REMOVAL_NAMED][REMOVAL_FOLDER_SIZE];
};

// Logs and deletes the file at `path` (a failure is logged and passed over),
// then removes its folder and the folders above it while they are empty.
// A file that still exists after a failed deletion, and a folder that cannot
// be removed, go into `leftovers` unless it is null. Returns 1.
int delete_file(const char* path, RemovalLeftovers* leftovers);

// delete_file while walking a list: `next` (or null) is the full path that
// the walk deletes next. When it lies in the same folder and still exists,
// the folder holds an entry and is not listed: the outcome is the same, and
// removing a big folder's files stays linear.
int delete_file_before(const char* path, const char* next, RemovalLeftovers* leftovers);

// delete_file for a file that a process which has just ended may still hold:
// the deletion is tried again for up to `milliseconds`.
int delete_file_patiently(const char* path, int milliseconds, RemovalLeftovers* leftovers);

// Removes `folder` when it holds no entries ("." and names beginning with
// ".." do not count), then its parent, and so on upward, never a drive root.
// Returns 0 when `folder` itself cannot be listed or removed; the steps above
// it do not change the result. A folder that cannot be removed goes into
// `leftovers` unless it is null.
int remove_empty_dirs(const char* folder, RemovalLeftovers* leftovers);

// Whether a path starts with a drive and a separator, or is a network name.
int path_is_full(const char* path);

// Whether a path may be handed to a deletion or to the loader: it was not cut
// short to fit its buffer (`whole` is 1) and it is a full path, with a drive
// or a network name, so that nothing is taken relative to the current folder.
// Otherwise logs why and returns 0.
int path_is_usable(const char* path, int whole);
