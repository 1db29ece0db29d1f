#include "file_open.h"

FILE* archive_file_open(const char* path) {
    return fopen(path, "rb");
}
