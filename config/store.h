// The stored settings under HKEY_LOCAL_MACHINE.
#ifndef KELTO_STORE_H
#define KELTO_STORE_H
#include "../app/settings.h"

void LoadSettings();
int SaveSettings();
int DeleteSettings();
#endif
