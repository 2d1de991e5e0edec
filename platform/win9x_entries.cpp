// KERNEL32 entries that the static thread runtime calls but Windows 9x lacks, bound when first used.
//
// The C++ runtime of this toolchain is built on a POSIX thread layer that is linked into the 32-bit
// program and its picture library. That layer imports a few KERNEL32 entries that came with later
// Windows (GetTickCount64 with Vista, the vectored exception handlers with XP; TryEnterCriticalSection,
// GetHandleInformation and SetProcessAffinityMask with the NT family). The Windows 9x loader refuses a
// program that imports an entry its KERNEL32 does not export, so the program would not start at all.
// This file defines the import slots for those entries itself: the linker then takes these slots
// instead of importing the entries, and each slot calls the real entry where the system has it and a
// stand-in otherwise. It is linked as an object of its own into each 32-bit binary (an archive member
// would come too late: the thread layer is searched after the program's own libraries).
#if defined(__i386__)
#include <windows.h>

namespace {

// The system's entry `name`, or `fallback` where KERNEL32 lacks it. GetProcAddress hands out a
// generic function type; the cast goes through void(*)() so that no signature is assumed twice.
template <typename Proc>
Proc KernelEntryOr(const char *name, Proc fallback) {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  FARPROC entry = kernel != NULL ? GetProcAddress(kernel, name) : NULL;
  return entry != NULL ? reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(entry)) : fallback;
}

// Each stand-in finds the function to call on its first use and keeps it in one pointer: the thread
// runtime may call it before constructors run and from any thread, so there is no guarded static,
// and two threads racing only look it up twice.

// Without the 64-bit counter: the 32-bit one, which wraps after 49.7 days. The thread layer measures
// only short waits with it, and the saver never waits on a thread.
ULONGLONG WINAPI TickCountFallback() { return GetTickCount(); }
ULONGLONG WINAPI TickCount64() {
  static ULONGLONG(WINAPI * call)();
  if (call == NULL) call = KernelEntryOr("GetTickCount64", TickCountFallback);
  return call();
}

// Without vectored handlers the thread layer's handler (which names threads for a debugger) is simply
// not installed.
PVOID WINAPI AddHandlerFallback(ULONG, PVECTORED_EXCEPTION_HANDLER) { return NULL; }
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  static PVOID(WINAPI * call)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  if (call == NULL) call = KernelEntryOr("AddVectoredExceptionHandler", AddHandlerFallback);
  return call(first, handler);
}

ULONG WINAPI RemoveHandlerFallback(PVOID) { return 0; }
ULONG WINAPI RemoveVectoredHandler(PVOID handle) {
  static ULONG(WINAPI * call)(PVOID);
  if (call == NULL) call = KernelEntryOr("RemoveVectoredExceptionHandler", RemoveHandlerFallback);
  return call(handle);
}

// Without the handle query a handle counts as valid and without flags, which is what the thread
// layer assumes of the handles it made itself.
BOOL WINAPI HandleInformationFallback(HANDLE handle, LPDWORD flags) {
  if (flags != NULL) *flags = 0;
  return handle != NULL && handle != INVALID_HANDLE_VALUE;
}
BOOL WINAPI HandleInformation(HANDLE handle, LPDWORD flags) {
  static BOOL(WINAPI * call)(HANDLE, LPDWORD);
  if (call == NULL) call = KernelEntryOr("GetHandleInformation", HandleInformationFallback);
  return call(handle, flags);
}

// Without a non-blocking try the section is reported busy: a caller of a try must handle that answer.
BOOL WINAPI TryEnterFallback(LPCRITICAL_SECTION) { return FALSE; }
BOOL WINAPI TryEnterSection(LPCRITICAL_SECTION section) {
  static BOOL(WINAPI * call)(LPCRITICAL_SECTION);
  if (call == NULL) call = KernelEntryOr("TryEnterCriticalSection", TryEnterFallback);
  return call(section);
}

// Processor affinity cannot be set on the 9x family (it runs on one processor).
BOOL WINAPI SetAffinityFallback(HANDLE, DWORD_PTR) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}
BOOL WINAPI SetAffinityMask(HANDLE process, DWORD_PTR mask) {
  static BOOL(WINAPI * call)(HANDLE, DWORD_PTR);
  if (call == NULL) call = KernelEntryOr("SetProcessAffinityMask", SetAffinityFallback);
  return call(process, mask);
}

}  // namespace

// The import slots, by the names the import library gives them (stdcall: name@argument bytes).
extern "C" {
ULONGLONG(WINAPI *g_getTickCount64)() __asm__("__imp__GetTickCount64@0") = TickCount64;
PVOID(WINAPI *g_addVectoredExceptionHandler)(ULONG, PVECTORED_EXCEPTION_HANDLER)
    __asm__("__imp__AddVectoredExceptionHandler@8") = AddVectoredHandler;
ULONG(WINAPI *g_removeVectoredExceptionHandler)(PVOID)
    __asm__("__imp__RemoveVectoredExceptionHandler@4") = RemoveVectoredHandler;
BOOL(WINAPI *g_getHandleInformation)(HANDLE, LPDWORD) __asm__("__imp__GetHandleInformation@8") =
    HandleInformation;
BOOL(WINAPI *g_tryEnterCriticalSection)(LPCRITICAL_SECTION) __asm__("__imp__TryEnterCriticalSection@4") =
    TryEnterSection;
BOOL(WINAPI *g_setProcessAffinityMask)(HANDLE, DWORD_PTR) __asm__("__imp__SetProcessAffinityMask@8") =
    SetAffinityMask;
}

#endif  // __i386__
