// Text: the program's decimal conversion, bounded copies and searches, and filling memory with zeros.
#ifndef KELTO_TEXT_H
#define KELTO_TEXT_H
#include <windows.h>

// The program's decimal conversion: white space, one sign, digits; no digits give 0.
INT32 DecimalValue(const char* text);

// Copies at most capacity-1 bytes and always terminates: no copy ever runs past a field.
void CopyText(char* field, int capacity, const char* text);

// Where part first stands in the first length bytes of text; null when it does not.
const char* FindText(const char* text, int length, const char* part);

// Zeros: for the records the system takes, before their few fields are set.
void ZeroFill(void* memory, unsigned size);
#endif
