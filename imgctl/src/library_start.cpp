// Library load: the pixel kernels take their SSE2 bodies where the processor and the system allow.
#include <windows.h>

#include "imgctl/core/vector_kernels.h"

namespace {

// A processor's SSE2 unit is usable only once the system saves the XMM registers on a task
// switch; a system that does not leaves the unit disabled (CR4.OSFXSR clear) and every SSE
// instruction faults. The 9x family saves them from Windows 98 (4.10) on, the NT family from
// Windows 2000 (5.0) on; Windows 95 and NT 4.0 keep the plain loops.
bool SystemSavesXmmState() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) return version.dwMajorVersion >= 5;
  return version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion >= 10);
}

}  // namespace

// Runs once when a process loads the library, before any of its operations can be called.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) imgctl::SetVectorKernels(imgctl::ProcessorHasSse2() && SystemSavesXmmState());
  return TRUE;
}
