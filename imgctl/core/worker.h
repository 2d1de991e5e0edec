// Decoding on two threads: a job run beside the calling thread, and the counts by which the two hand work over.
#pragma once
#include <stdint.h>

#include "imgctl/core/os_thread.h"

namespace imgctl {

// A count that one thread raises and one other thread waits on (rows decoded, rows used). Raising
// publishes everything the raising thread wrote before it: the waiter, once it sees the count,
// reads those writes. Ending it wakes the waiter for good (the raiser stopped early or failed).
class Progress {
 public:
  Progress() = default;
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  // Makes the event a waiter sleeps on; false when the system has none to give.
  bool Prepare();
  void Raise(int32_t value);
  void End();
  // The count once it is at least `atLeast`, or sooner once the count is ended (then it may be less).
  int32_t WaitFor(int32_t atLeast);
  int32_t Value() const { return __atomic_load_n(&value_, __ATOMIC_ACQUIRE); }
  bool Ended() const { return __atomic_load_n(&ended_, __ATOMIC_ACQUIRE) != 0; }

 private:
  void WakeWaiter();

  int32_t value_ = 0;
  int32_t ended_ = 0;
  int32_t sleeping_ = 0;  // the waiter is about to sleep or sleeps on wake_
  os::Event wake_ = nullptr;
};

// Whether decodes may use a second thread: true on a machine with more than one processor, unless
// turned off (the tests compare the bytes of both ways).
bool WorkerAvailable();
void AllowWorker(bool allowed);

// One job on the library's second thread while the caller goes on. Start returns false when there
// is no second thread to be had (one processor, the worker busy with another caller's job, or the
// system refusing a thread): the caller then does the job's work itself, in an order that gives the
// same result. A job that throws (memory ran short) ends the progress it was given, so that the
// caller never waits on it for ever, and Join tells. The thread is started with the first job and
// waits for the next between decodes.
class Worker {
 public:
  typedef void (*Job)(void *context);
  Worker() = default;
  // A job the worker has not come to is taken back (its owner is going, memory having run short).
  ~Worker() { EndJob(); }
  Worker(const Worker &) = delete;
  Worker &operator=(const Worker &) = delete;

  bool Start(Job job, void *context, Progress *endOnFailure);
  // True when the worker had not yet come to the job, which then never runs: a caller that has
  // done the job's work itself need not wait for a worker that is slow to wake or whose processor
  // is busy with another program. False once the worker has the job (Join then waits for its end).
  bool TakeBack();
  // Waits for the job's end (at once when none was started); false when it threw.
  bool Join();
  // Ends the job: taken back when the worker has not come to it, else waited for. False when it
  // threw. What a caller does once it has done whatever of the job's work the worker left.
  bool EndJob() { return TakeBack() || Join(); }

 private:
  friend void RunHandedJob(Worker *worker);
  Job job_ = nullptr;
  void *context_ = nullptr;
  Progress *endOnFailure_ = nullptr;
  bool failed_ = false;
  bool started_ = false;
  int32_t ticket_ = 0;
};

}  // namespace imgctl
