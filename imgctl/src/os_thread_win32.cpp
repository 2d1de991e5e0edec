// The worker's threading calls on Windows: CreateThread and events, as every Windows from 95 on has them.
#include <windows.h>

#include "imgctl/core/os_thread.h"
#include "imgctl/src/x87_precision.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this library's own module, as the linker places it

namespace imgctl {
namespace os {
namespace {

typedef VOID(WINAPI *FreeLibraryAndExitThreadEntry)(HMODULE, DWORD);

// The reference the worker holds on this library, and the call that drops it as the thread ends:
// a thread running in a library cannot call FreeLibrary and then return, as the code it returns to
// may be gone; FreeLibraryAndExitThread ends the thread without returning. Looked up at run time,
// since not every system the library runs on has it.
HMODULE g_heldLibrary = nullptr;
FreeLibraryAndExitThreadEntry g_freeAndExit = nullptr;
ThreadEntry g_entry = nullptr;

// A reference on this library, or null: through the wide name where the system has the wide
// calls (any path), else through the ANSI name (the 9x family, whose paths are ANSI).
HMODULE ReferenceThisLibrary() {
  HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
  wchar_t wide[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, wide, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    HMODULE held = LoadLibraryW(wide);
    if (held != nullptr) return held;
  }
  char ansi[MAX_PATH];
  n = GetModuleFileNameA(self, ansi, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return LoadLibraryA(ansi);
}

// Windows starts a thread with its stack aligned to 4 bytes on i686, where the SSE2 kernels keep
// 16-byte values on it; and the x87 at whatever precision a new thread gets, which the library sets
// itself, so that the worker computes exactly as the calling thread does.
// What it runs and the reference it holds are read before entry runs: once entry has returned, a
// new worker may already be starting with its own.
__attribute__((force_align_arg_pointer)) DWORD WINAPI ThreadMain(LPVOID) {
  const ThreadEntry entry = g_entry;
  const HMODULE held = g_heldLibrary;
  {
    X87Precision precision;
    entry();
  }
  g_freeAndExit(held, 0);  // entry returns only when there is a reference to drop this way
  return 0;
}

}  // namespace

int ProcessorCount() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? int(info.dwNumberOfProcessors) : 1;
}

Event NewEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }
void DeleteEvent(Event event) { CloseHandle(event); }
void Signal(Event event) { SetEvent(event); }
void WaitFor(Event event) { WaitForSingleObject(event, INFINITE); }
// Sleep(0) gives the rest of the time slice to a ready thread; SwitchToThread is not on the 9x family.
void YieldTimeSlice() { Sleep(0); }

bool WaitFor(Event event, uint32_t milliseconds) { return WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0; }

bool StartThread(ThreadEntry entry, bool *mayEnd) {
  // The caller starts one thread at a time, and only once the last one no longer reads these.
  g_entry = entry;
  g_freeAndExit = reinterpret_cast<FreeLibraryAndExitThreadEntry>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "FreeLibraryAndExitThread")));
  g_heldLibrary = g_freeAndExit != nullptr ? ReferenceThisLibrary() : nullptr;
  *mayEnd = g_heldLibrary != nullptr;
  // Windows 95 fails CreateThread without somewhere to write the thread's id.
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, nullptr, 0, &id);
  if (thread == nullptr) {
    if (g_heldLibrary != nullptr) FreeLibrary(g_heldLibrary);
    g_heldLibrary = nullptr;
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace os
}  // namespace imgctl
