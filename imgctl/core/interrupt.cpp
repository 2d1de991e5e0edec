// A decode's early stop: the check the caller holds for one operation, and whether it has fired.
#include "imgctl/core/interrupt.h"

namespace imgctl {
namespace {

UrgentCheck g_check = nullptr;
bool g_fired = false;

}  // namespace

InterruptScope::InterruptScope(UrgentCheck check) {
  g_check = check;
  g_fired = false;
}

InterruptScope::~InterruptScope() {
  g_check = nullptr;
  g_fired = false;
}

bool DecodeInterrupted() {
  if (!g_fired && g_check != nullptr && g_check()) g_fired = true;
  return g_fired;
}

}  // namespace imgctl
