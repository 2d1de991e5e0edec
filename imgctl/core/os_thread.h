// The few system threading calls the decode's worker needs, behind one small interface.
#pragma once
#include <stdint.h>

namespace imgctl {
namespace os {

// Processors the system runs threads on (1 when it cannot tell).
int ProcessorCount();

// An auto-reset event: a Signal wakes one wait (or the next one, when none is waiting).
typedef void *Event;
Event NewEvent();  // null when the system has none to give
void DeleteEvent(Event event);
void Signal(Event event);
void WaitFor(Event event);
// False when `milliseconds` passed without a signal.
bool WaitFor(Event event, uint32_t milliseconds);

// Lets another thread that is ready to run have the processor.
void YieldTimeSlice();

// Starts a thread that runs entry() until entry returns (it is never joined). False when it
// cannot be started. `mayEnd` says whether entry may return at all: where the system cannot keep
// the library loaded while a thread of its own runs and lets it go as the thread's last act, it is
// false and entry must wait for ever instead, so that an unloaded library's code is never run.
typedef void (*ThreadEntry)();
bool StartThread(ThreadEntry entry, bool *mayEnd);

}  // namespace os
}  // namespace imgctl
