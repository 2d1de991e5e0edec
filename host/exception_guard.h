// The exception guard around the run of a mode.
#pragma once

typedef int (*GuardedMode)(const char *tail);

// Runs mode(tail) inside a structured exception guard whose filter is the
// system's UnhandledExceptionFilter. When an exception escapes and the filter
// says to handle it, the saver-running state is cleared and the result is the
// exception's code. Otherwise the result is the mode's.
int RunInExceptionGuard(GuardedMode mode, const char *tail);
