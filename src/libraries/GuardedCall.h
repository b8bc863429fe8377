// A frame-based structured exception handler around one call into a plug-in library.
// Exceptions that the library handles itself never reach it; one that leaves the library
// (an access violation, a foreign C++ exception) ends the call instead of the process.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t (__stdcall *GuardedExport0)(void);
typedef uintptr_t (__stdcall *GuardedExport1)(uintptr_t);

// Calls the export (with one argument when hasArgument) and stores its result. Returns 1
// when it returned, 0 when an exception left it; *code is then the exception's code.
int GuardedCall(void* export_, int hasArgument, uintptr_t argument, uintptr_t* result,
                unsigned long* code);

#ifdef __cplusplus
}
#endif
