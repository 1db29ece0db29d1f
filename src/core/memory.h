// Guarded allocator and quick memory.
//
// Block layout for a request of `size` bytes, R = size + 8 rounded up to a
// multiple of 4:
//
//   offset 0      4 bytes 0xCC   leading guard
//   offset 4      R - 8 bytes    the caller's area, zero-filled
//   offset R - 4  4 bytes 0xCC   trailing guard
//
// The caller gives the same size again when freeing. Every misuse (bad size,
// freeing null, damaged guards, the limit, an exhausted heap) is a fatal stop
// that names the calling statement. Use MEM_ALLOC and MEM_RETURN, which pass it.
#pragma once

enum { MEM_LIMIT_MAXIMUM = 0xFFFFFFF };

int mem_init(int limit, int quick_size);
void* mem_alloc(int size, const char* file, int line);
int mem_free(void** variable, int size, const char* file, int line);
int mem_report();
int qmem_init(int size);
int qmem_new_frame();
int qmem_shutdown();

template <typename T> int mem_free_variable(T** variable, int size, const char* file, int line) {
    void* pointer = *variable;
    int result = mem_free(&pointer, size, file, line);
    *variable = static_cast<T*>(pointer);
    return result;
}

#define MEM_ALLOC(size) mem_alloc((size), __FILE__, __LINE__)
#define MEM_RETURN(variable, size) mem_free_variable(&(variable), (size), __FILE__, __LINE__)
