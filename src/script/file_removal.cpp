#include "file_removal.h"

#include "core/log.h"
#include "core/text.h"
#include "platform/files.h"

namespace {

int is_separator(char c) {
    return c == '\\' || c == '/';
}

int has_separator(const char* text) {
    for (; *text != '\0'; ++text) {
        if (is_separator(*text)) {
            return 1;
        }
    }
    return 0;
}

// Stops the listing at the first entry that keeps the folder.
int note_entry(const char* name, void* context) {
    if (name[0] == '.' && (name[1] == '\0' || name[1] == '.')) {
        return 1;
    }
    *static_cast<int*>(context) = 1;
    return 0;
}

// Cuts `folder` to its parent, without the separator. Returns 0 when there is
// no parent to try: no separator, or only a drive (as in C:) is left.
int cut_to_parent(char* folder) {
    // From two characters before the end, so that a trailing separator is passed over.
    for (int at = text_length(folder) - 2; at >= 0; --at) {
        if (is_separator(folder[at])) {
            folder[at] = '\0';
            return at > 3 ? 1 : 0;
        }
    }
    return 0;
}

void note_leftover(RemovalLeftovers* leftovers, const char* path) {
    if (!leftovers) {
        return;
    }
    if (leftovers->count < REMOVAL_NAMED) {
        text_copy(leftovers->names[leftovers->count], REMOVAL_FOLDER_SIZE, path);
    }
    ++leftovers->count;
}

int delete_file_within(const char* path, const char* next, int milliseconds,
                       RemovalLeftovers* leftovers);

} // namespace

int remove_empty_dirs(const char* folder, RemovalLeftovers* leftovers) {
    CORE_ASSERT_POINTER(folder);
    char path[REMOVAL_FOLDER_SIZE];
    if (!text_copy(path, sizeof path, folder)) {
        log_printf("Path too long '%s'\n", path);
        return 0;
    }
    // Each folder is tried once, the given one first; only its outcome is told.
    for (int first = 1;; first = 0) {
        // A process's current folder cannot be removed.
        folder_leave();
        int kept = 0;
        if (!folder_list(path, note_entry, &kept)) {
            log_printf("Error opening '%s'\n", path);
            return first ? 0 : 1;
        }
        if (kept) {
            return 1;
        }
        log_printf("Deleting '%s'\n", path);
        if (!folder_remove(path)) {
            log_printf("Unable to delete dir '%s'\n", path);
            note_leftover(leftovers, path);
            return first ? 0 : 1;
        }
        if (!cut_to_parent(path)) {
            return 1;
        }
    }
}

int delete_file(const char* path, RemovalLeftovers* leftovers) {
    return delete_file_within(path, nullptr, 0, leftovers);
}

int delete_file_before(const char* path, const char* next, RemovalLeftovers* leftovers) {
    return delete_file_within(path, next, 0, leftovers);
}

int delete_file_patiently(const char* path, int milliseconds, RemovalLeftovers* leftovers) {
    return delete_file_within(path, nullptr, milliseconds, leftovers);
}

namespace {

int delete_file_within(const char* path, const char* next, int milliseconds,
                       RemovalLeftovers* leftovers) {
    CORE_ASSERT_POINTER(path);
    log_printf("Delete file '%s'\n", path);
    if (!file_delete(path, milliseconds)) {
        log_printf("Unable to delete file '%s'\n", path);
        // A file that was already gone is no loss.
        if (file_exists(path)) {
            note_leftover(leftovers, path);
        }
    }
    char folder[REMOVAL_FOLDER_SIZE];
    if (!text_copy(folder, sizeof folder, path)) {
        return 1; // a cut path names no folder of this file
    }
    int cut = -1;
    for (int at = 0; folder[at] != '\0'; ++at) {
        if (is_separator(folder[at])) {
            cut = at;
        }
    }
    if (cut >= 0) {
        folder[cut + 1] = '\0'; // the folder keeps its separator
    }
    // Listing a folder costs as much as its entries on some systems; the next
    // file of the same folder, while it exists, shows that the folder stays.
    if (next && cut >= 0 && text_compare_n(folder, next, cut + 1) &&
        !has_separator(next + cut + 1) && !(next[cut + 1] == '.' && next[cut + 2] == '.') &&
        next[cut + 1] != '\0' && file_exists(next)) {
        folder_leave();
        return 1;
    }
    remove_empty_dirs(folder, leftovers);
    return 1;
}

} // namespace

int path_is_full(const char* path) {
    CORE_ASSERT_POINTER(path);
    char drive = static_cast<char>(path[0] | 0x20);
    int with_drive = drive >= 'a' && drive <= 'z' && path[1] == ':' && is_separator(path[2]);
    int network = is_separator(path[0]) && is_separator(path[1]);
    return with_drive || network;
}

int path_is_usable(const char* path, int whole) {
    CORE_ASSERT_POINTER(path);
    if (!whole) {
        log_printf("Path too long '%s'\n", path);
        return 0;
    }
    if (!path_is_full(path)) {
        log_printf("Not a full path '%s'\n", path);
        return 0;
    }
    return 1;
}
