# Fails the build when a 32-bit binary imports a KERNEL32 entry that Windows 9x does not export:
# the 9x loader refuses such a program outright. The list holds the entries that the toolchain's
# runtimes are known to reach for; platform/win9x_entries.cpp takes the place of those it needs.
#   cmake -DOBJDUMP=<objdump> -DBINARY=<file> -P check_win9x_imports.cmake
set(MISSING_ON_WIN9X
  GetTickCount64 AddVectoredExceptionHandler RemoveVectoredExceptionHandler GetHandleInformation
  TryEnterCriticalSection SetProcessAffinityMask GetFileSizeEx SetFilePointerEx GetModuleHandleExA
  GetModuleHandleExW InitializeCriticalSectionEx InitializeCriticalSectionAndSpinCount FlsAlloc FlsFree
  FlsGetValue FlsSetValue IsProcessorFeaturePresent GetSystemTimePreciseAsFileTime InitOnceExecuteOnce
  InitializeSRWLock AcquireSRWLockExclusive ReleaseSRWLockExclusive SleepConditionVariableCS
  WakeConditionVariable WakeAllConditionVariable InitializeConditionVariable CreateEventExW
  CreateSemaphoreExW GetLogicalProcessorInformation SwitchToThread)
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the imports of ${BINARY}")
endif()
# The import table lists each entry as "<address> <hint> <name>" under its DLL's name.
string(REGEX MATCH "DLL Name: KERNEL32.dll[^\n]*\n(([^\n]*\n)*)" kernel "${dump}")
string(REGEX REPLACE "\n[ \t]*\n.*" "" kernel "${CMAKE_MATCH_1}")
set(found "")
foreach(entry ${MISSING_ON_WIN9X})
  if(kernel MATCHES "[ \t]${entry}\n")
    list(APPEND found ${entry})
  endif()
endforeach()
if(found)
  message(FATAL_ERROR "${BINARY} imports KERNEL32 entries that Windows 9x lacks: ${found}")
endif()
