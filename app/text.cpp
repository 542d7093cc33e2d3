// Text: the decimal conversion, bounded copies and searches; zeros.
#include "text.h"

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

INT32 DecimalValue(const char* text) {
    while (IsBlank(*text))
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    // Unsigned arithmetic wraps like the 32-bit conversion users know, without overflow traps.
    UINT32 value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (UINT32)(*text - '0');
        text++;
    }
    if (negative)
        value = 0u - value;
    return (INT32)value;
}

void CopyText(char* field, int capacity, const char* text) {
    if (capacity <= 0)
        return;
    lstrcpynA(field, text ? text : "", capacity);
}

const char* FindText(const char* text, int length, const char* part) {
    for (int at = 0; at < length; at++) {
        int i = 0;
        while (part[i] && at + i < length && text[at + i] == part[i])
            i++;
        if (!part[i])
            return text + at;
    }
    return NULL;
}

void ZeroFill(void* memory, unsigned size) {
    BYTE* bytes = (BYTE*)memory;
    for (unsigned i = 0; i < size; i++)
        bytes[i] = 0;
}
