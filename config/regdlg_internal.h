// The registry dialog's own calls, for its tests.
#ifndef KELTO_REGDLG_INTERNAL_H
#define KELTO_REGDLG_INTERNAL_H
#include "regdlg.h"

// The current user's NoLogOff policy, read as its first 32-bit word, is non-zero.
int IsNoLogOffSet();
#endif
