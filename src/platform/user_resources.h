// The program's resources, as a resource compiler would link them in. The
// program defines FindProgramResource; the dialog manager calls it to find a
// dialog template by name (MAKEINTRESOURCEA(id) or a string). The platform's
// reference is weak: a test program that links the platform without the
// program's resources still links, and finds no templates.
#pragma once

#include "platform/win32.h"

// The bytes of the named resource and their count, or null when the program
// has no such resource.
const void* FindProgramResource(LPCSTR name, DWORD* size);

#if defined(__GNUC__)
// The dialog manager looks it up weakly; see above.
#define DH_PROGRAM_RESOURCES_WEAK __attribute__((weak))
#else
#define DH_PROGRAM_RESOURCES_WEAK
#endif
