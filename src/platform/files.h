// Files and folders: deletion, listing, the current folder.
//
// Every operation returns 1 for success and 0 for failure and logs nothing;
// the callers write the failure in their own words.
#pragma once

// Deletes one file; while it is in use, tries again for up to `milliseconds`.
int file_delete(const char* path, int milliseconds);

// 1 when a file or folder of that path exists.
int file_exists(const char* path);

// Makes the root of the current drive the process's current folder, unless
// the current folder is a root already: a folder that is some process's
// current folder cannot be removed.
int folder_leave();

// Removes an empty folder.
int folder_remove(const char* folder);

// Called with each entry's name, "." and ".." included; returning 0 ends the
// listing early.
typedef int (*FolderVisit)(const char* name, void* context);

// Lists the entries of `folder` (with or without a trailing separator), files
// and folders, hidden ones too, until `visit` returns 0. Returns 0 when the
// folder cannot be listed.
int folder_list(const char* folder, FolderVisit visit, void* context);
