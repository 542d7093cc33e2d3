// The few memory routines the compiler may call on its own in a build without a C runtime.
#include <stddef.h>

extern "C" {

void* memset(void* destination, int value, size_t count) {
    unsigned char* bytes = (unsigned char*)destination;
    while (count--)
        *bytes++ = (unsigned char)value;
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* to = (unsigned char*)destination;
    const unsigned char* from = (const unsigned char*)source;
    while (count--)
        *to++ = *from++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
    unsigned char* to = (unsigned char*)destination;
    const unsigned char* from = (const unsigned char*)source;
    if (to < from) {
        while (count--)
            *to++ = *from++;
    } else {
        to += count;
        from += count;
        while (count--)
            *--to = *--from;
    }
    return destination;
}

int memcmp(const void* first, const void* second, size_t count) {
    const unsigned char* a = (const unsigned char*)first;
    const unsigned char* b = (const unsigned char*)second;
    for (; count; count--, a++, b++)
        if (*a != *b)
            return *a < *b ? -1 : 1;
    return 0;
}
}
