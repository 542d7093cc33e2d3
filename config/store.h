// The stored settings under HKEY_LOCAL_MACHINE.
#ifndef KELTO_STORE_H
#define KELTO_STORE_H
#include "../app/settings.h"

// Reads the stored values over the record; a missing key or value, or one that is not valid, leaves the
// record's own.
void LoadSettings();
// Writes the settings and the program list (rebuilt from the entries when they hold it); 0 on failure.
int SaveSettings();
// Deletes the settings key; 0 when there was none or it cannot be deleted.
int DeleteSettings();
#endif
