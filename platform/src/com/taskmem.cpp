// Task memory: what COM hands between caller and callee (CoTaskMemAlloc, CoTaskMemFree).
#include <windows.h>

#include <stdlib.h>

// A request for zero bytes still gives a block of its own, as on Windows.
ZP_EXTERN_C LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) {
    return malloc(size != 0 ? size : 1);
}

// Resizing to zero frees the block and gives null; a null block is allocated anew.
ZP_EXTERN_C LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size) {
    if (size == 0) {
        free(block);
        return nullptr;
    }
    return realloc(block, size);
}

ZP_EXTERN_C void WINAPI CoTaskMemFree(LPVOID block) {
    free(block);
}
