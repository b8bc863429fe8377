// Plain C on purpose: the guarded function must carry no C++ unwind handler of its own,
// since the handler registration below takes its place.
#include "libraries/GuardedCall.h"

#include <windows.h>
#include <excpt.h>

// The thread's exception code while a guarded call is being unwound.
static __thread unsigned long gCode;

#if defined(__x86_64__)

// The filter of the scope: every exception that no frame inside the library took is ours.
// The C runtime's scope handler then unwinds the library's frames and resumes after the
// call.
__attribute__((used)) long GuardedCallFilter(EXCEPTION_POINTERS* pointers, void* frame) {
  (void)frame;
  gCode = pointers->ExceptionRecord->ExceptionCode;
  return EXCEPTION_EXECUTE_HANDLER;
}

__attribute__((noinline)) int GuardedCall(void* export_, int hasArgument, uintptr_t argument,
                                          uintptr_t* result, unsigned long* code) {
  volatile int returned = 0;
  volatile uintptr_t value = 0;
  gCode = 0;
  __asm__ __volatile__("" ::: "memory");
  (void)hasArgument;  // the caller removes the arguments here: one more does no harm
  __try1(GuardedCallFilter)
  __asm__ __volatile__("" ::: "memory");
  // One straight call and nothing else between the scope's labels: the compiler must not
  // move any part of the call out of the range the handler covers.
  value = ((GuardedExport1)export_)(argument);
  returned = 1;
  __asm__ __volatile__("" ::: "memory");
  __except1
  __asm__ __volatile__("" ::: "memory");
  *result = value;
  *code = gCode;
  return returned;
}

#else  // 32-bit: a registration record on the frame chain, and a jump back to the call

#include <setjmp.h>

typedef struct {
  EXCEPTION_REGISTRATION_RECORD Record;  // must come first: fs:0 points here
  void* Resume[5];                       // __builtin_setjmp buffer
} GuardFrame;

static EXCEPTION_DISPOSITION __cdecl GuardedCallHandler(EXCEPTION_RECORD* record, void* frame,
                                                        CONTEXT* context, void* dispatcher) {
  (void)context;
  (void)dispatcher;
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  GuardFrame* guard = (GuardFrame*)frame;
  gCode = record->ExceptionCode;
  // Unwind the library's own frames (their handlers see the unwind), then resume with our
  // record at the top of the chain, and take it off there.
  RtlUnwind(frame, 0, record, 0);
  __builtin_longjmp(guard->Resume, 1);
  return ExceptionContinueSearch;
}

__attribute__((noinline)) int GuardedCall(void* export_, int hasArgument, uintptr_t argument,
                                          uintptr_t* result, unsigned long* code) {
  volatile GuardFrame guard;
  volatile int returned = 0;
  volatile uintptr_t value = 0;
  gCode = 0;
  guard.Record.Handler = (PEXCEPTION_ROUTINE)GuardedCallHandler;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(guard.Record.Next));
  if (__builtin_setjmp((void**)guard.Resume) == 0) {
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&guard.Record) : "memory");
    if (hasArgument) {
      value = ((GuardedExport1)export_)(argument);
    } else {
      value = ((GuardedExport0)export_)();
    }
    returned = 1;
  }
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(guard.Record.Next) : "memory");
  *result = value;
  *code = gCode;
  return returned;
}

#endif
