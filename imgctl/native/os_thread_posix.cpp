// The worker's threading calls for the native builds of the core (tests, fuzzing, benchmarks): POSIX threads.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "imgctl/core/os_thread.h"

namespace imgctl {
namespace os {
namespace {

struct EventRecord {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
  bool set = false;
};

void *ThreadMain(void *entry) {
  reinterpret_cast<ThreadEntry>(entry)();
  return nullptr;
}

}  // namespace

int ProcessorCount() {
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? int(count) : 1;
}

Event NewEvent() { return new (std::nothrow) EventRecord(); }
void DeleteEvent(Event event) { delete static_cast<EventRecord *>(event); }

void Signal(Event event) {
  EventRecord *e = static_cast<EventRecord *>(event);
  pthread_mutex_lock(&e->mutex);
  e->set = true;
  pthread_cond_signal(&e->wake);
  pthread_mutex_unlock(&e->mutex);
}

void WaitFor(Event event) {
  EventRecord *e = static_cast<EventRecord *>(event);
  pthread_mutex_lock(&e->mutex);
  while (!e->set) pthread_cond_wait(&e->wake, &e->mutex);
  e->set = false;
  pthread_mutex_unlock(&e->mutex);
}

void YieldTimeSlice() { sched_yield(); }

bool WaitFor(Event event, uint32_t milliseconds) {
  EventRecord *e = static_cast<EventRecord *>(event);
  timespec until;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += milliseconds / 1000;
  until.tv_nsec += long(milliseconds % 1000) * 1000000;
  if (until.tv_nsec >= 1000000000) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000;
  }
  pthread_mutex_lock(&e->mutex);
  int result = 0;
  while (!e->set && result != ETIMEDOUT) result = pthread_cond_timedwait(&e->wake, &e->mutex, &until);
  bool signalled = e->set;
  e->set = false;
  pthread_mutex_unlock(&e->mutex);
  return signalled;
}

bool StartThread(ThreadEntry entry, bool *mayEnd) {
  *mayEnd = true;  // no library to keep loaded natively
  pthread_t thread;
  if (pthread_create(&thread, nullptr, ThreadMain, reinterpret_cast<void *>(entry)) != 0) return false;
  pthread_detach(thread);
  return true;
}

}  // namespace os
}  // namespace imgctl
