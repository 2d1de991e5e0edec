// The exception guard around the run of a mode, built on the platform's
// frame-based structured exception handling (gcc has no __try/__except).
#include "host/exception_guard.h"

#include <windows.h>

#include "host/password_hooks.h"

// Set by the filter when UnhandledExceptionFilter decides the handler runs;
// volatile because it is read after a non-local return into the guard.
static volatile LONG g_handlerRuns;
static volatile DWORD g_escapedCode;

static LONG DecideGuardVerdict(EXCEPTION_POINTERS *info) {
  LONG verdict = UnhandledExceptionFilter(info);
  if (verdict == EXCEPTION_EXECUTE_HANDLER) {
    g_handlerRuns = 1;
    g_escapedCode = info->ExceptionRecord->ExceptionCode;
  }
  return verdict;
}

#if defined(__x86_64__)

// The scope table that __try1 writes names this filter; __C_specific_handler
// calls it with the exception and the establisher frame, and on
// EXCEPTION_EXECUTE_HANDLER unwinds to the end of the guarded range.
extern "C" LONG LumetaGuardFilter(EXCEPTION_POINTERS *info, void *) { return DecideGuardVerdict(info); }

// Kept out of line and alone in its function: the scope labels are fixed names.
static __attribute__((noinline)) int CallGuarded(GuardedMode mode, const char *tail) {
  volatile int result = 0;
  __try1(LumetaGuardFilter)
  result = mode(tail);
  __except1
  return result;
}

#elif defined(__i386__)

#include <setjmp.h>

// One registration on the thread's exception chain (fs:[0]); the jump buffer
// follows it so the handler can find where to resume.
struct GuardRegistration {
  GuardRegistration *previous;
  void *handler;
  void *resume[5];  // __builtin_setjmp buffer
};

extern "C" EXCEPTION_DISPOSITION __cdecl LumetaGuardHandler(EXCEPTION_RECORD *record, void *frame,
                                                            CONTEXT *context, void *) {
  // During an unwind the handler has nothing to clean up.
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers = {record, context};
  LONG verdict = DecideGuardVerdict(&pointers);
  if (verdict == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
  if (verdict != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
  // Run the termination handlers of the frames above ours, then resume in the guard.
  RtlUnwind(frame, NULL, record, NULL);
  __builtin_longjmp(static_cast<GuardRegistration *>(frame)->resume, 1);
}

static __attribute__((noinline)) int CallGuarded(GuardedMode mode, const char *tail) {
  GuardRegistration registration;
  volatile int result = 0;
  registration.handler = reinterpret_cast<void *>(LumetaGuardHandler);
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(registration.previous));
  if (__builtin_setjmp(registration.resume) == 0) {
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&registration) : "memory");
    result = mode(tail);
  }
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(registration.previous) : "memory");
  return result;
}

#else
#error "only x86 and x86-64 Windows targets are supported"
#endif

int RunInExceptionGuard(GuardedMode mode, const char *tail) {
  g_handlerRuns = 0;
  int result = CallGuarded(mode, tail);
  if (g_handlerRuns) {
    SetSaverRunning(0);
    return static_cast<int>(g_escapedCode);
  }
  return result;
}
