// Allocation failures on demand: the program's operator new fails the N-th allocation when asked.
#pragma once
#include <stdint.h>

namespace imgctl_test {

// From now on, allocation number `nth` (1 is the next one) fails: the throwing operator new throws
// std::bad_alloc and the nothrow one returns null. With `andLater` every allocation after it fails
// too. FailAllocations(0) makes every allocation succeed again.
void FailAllocations(uint64_t nth, bool andLater = false);

// True when an allocation has been made to fail since the last FailAllocations call.
bool AllocationFailed();

}  // namespace imgctl_test
