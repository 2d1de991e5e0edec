// Decoding on two threads: the library's worker thread, the jobs handed to it, and the counts the two threads wait on.
#include "imgctl/core/worker.h"

#include <new>

#include "imgctl/core/spin_wait.h"

namespace imgctl {
namespace {

// An idle worker ends after this long without a job, and lets the library go. Starting a thread
// costs milliseconds under Wine, so the worker waits between the pictures of a slide show.
constexpr uint32_t kIdleMilliseconds = 10000;

enum : int32_t { kNoThread, kIdle, kStarting, kHanded, kBusy };

// The library's one worker. Its state decides who touches the rest: a caller moves it from kIdle
// (or from kNoThread, starting the thread) to kStarting, fills in `handed` and `jobsStarted`, and
// publishes them by moving it to kHanded. The worker takes the job by moving it to kBusy, or the
// caller takes it back by moving it to kIdle (the worker, woken, then finds no job); the caller owns
// the fields until the worker has raised `done`. The worker moves kBusy back to kIdle, or kIdle to
// kNoThread when it ends after an idle spell. The events and `done` are made with the first thread
// and kept for the process. Decodes run one at a time, under the library's lock, so one job at most
// is handed over at once.
struct WorkerState {
  int32_t state;
  int32_t jobsStarted;
  bool mayEnd;  // the thread may end when idle (the system lets it drop its hold on the library)
  os::Event jobReady;
  Progress *done;  // jobs finished, in the order they were handed over
  Worker *handed;
};
WorkerState g_worker = {kNoThread, 0, false, nullptr, nullptr, nullptr};

int32_t g_workerAllowed = 1;

void WorkerMain() {
  for (;;) {
    bool signalled = true;
    if (g_worker.mayEnd)
      signalled = os::WaitFor(g_worker.jobReady, kIdleMilliseconds);
    else
      os::WaitFor(g_worker.jobReady);
    if (!signalled) {
      int32_t idle = kIdle;
      if (__atomic_compare_exchange_n(&g_worker.state, &idle, kNoThread, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
        return;
      continue;  // a job is being handed over: its signal is on the way
    }
    int32_t handed = kHanded;
    if (!__atomic_compare_exchange_n(&g_worker.state, &handed, kBusy, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
      continue;  // taken back before the worker came to it
    Worker *worker = g_worker.handed;
    const int32_t ticket = __atomic_load_n(&g_worker.jobsStarted, __ATOMIC_RELAXED);
    RunHandedJob(worker);
    // The caller may free its Worker as soon as it sees the count: only the shared state after this.
    g_worker.done->Raise(ticket);
    __atomic_store_n(&g_worker.state, kIdle, __ATOMIC_RELEASE);
  }
}

// Makes what every worker uses and starts the thread; the caller owns the state (kStarting).
bool StartWorkerThread() {
  if (g_worker.jobReady == nullptr) g_worker.jobReady = os::NewEvent();
  if (g_worker.done == nullptr) {
    Progress *done = new (std::nothrow) Progress();
    if (done != nullptr && !done->Prepare()) {
      delete done;
      done = nullptr;
    }
    g_worker.done = done;
  }
  if (g_worker.jobReady == nullptr || g_worker.done == nullptr) return false;
  return os::StartThread(WorkerMain, &g_worker.mayEnd);
}

}  // namespace

void RunHandedJob(Worker *worker) {
  try {
    worker->job_(worker->context_);
  } catch (...) {
    // Only memory runs short in a decode; the caller sees it after Join and throws it on its side.
    worker->failed_ = true;
    if (worker->endOnFailure_ != nullptr) worker->endOnFailure_->End();
  }
}

Progress::~Progress() {
  if (wake_ != nullptr) os::DeleteEvent(wake_);
}

bool Progress::Prepare() {
  if (wake_ == nullptr) wake_ = os::NewEvent();
  return wake_ != nullptr;
}

// The waiter announces that it will sleep and then looks at the count once more; the raiser
// publishes the count and then looks for a sleeper. Both in sequentially consistent order, so at
// least one of them sees the other's write: a raise is never missed.
void Progress::WakeWaiter() {
  if (__atomic_exchange_n(&sleeping_, 0, __ATOMIC_SEQ_CST) != 0) os::Signal(wake_);
}

void Progress::Raise(int32_t value) {
  __atomic_store_n(&value_, value, __ATOMIC_SEQ_CST);
  WakeWaiter();
}

void Progress::End() {
  __atomic_store_n(&ended_, 1, __ATOMIC_SEQ_CST);
  WakeWaiter();
}

// The end is read before the count: a raiser raises its last count and then ends, so a count read
// after the end is seen is the last one.
int32_t Progress::WaitFor(int32_t atLeast) {
  int32_t value = 0;
  if (SpinUntil([&] {
        bool ended = Ended();
        value = Value();
        return value >= atLeast || ended;
      }))
    return value;
  for (;;) {
    __atomic_store_n(&sleeping_, 1, __ATOMIC_SEQ_CST);
    bool ended = __atomic_load_n(&ended_, __ATOMIC_SEQ_CST) != 0;
    value = __atomic_load_n(&value_, __ATOMIC_SEQ_CST);
    if (value >= atLeast || ended) {
      __atomic_store_n(&sleeping_, 0, __ATOMIC_SEQ_CST);
      return value;
    }
    // A signal left over from an earlier raise only makes this loop look once more.
    os::WaitFor(wake_);
  }
}

bool WorkerAvailable() {
  static const int processors = os::ProcessorCount();
  return processors > 1 && __atomic_load_n(&g_workerAllowed, __ATOMIC_RELAXED) != 0;
}

void AllowWorker(bool allowed) { __atomic_store_n(&g_workerAllowed, allowed ? 1 : 0, __ATOMIC_RELAXED); }

bool Worker::Start(Job job, void *context, Progress *endOnFailure) {
  if (started_ || !WorkerAvailable()) return false;
  int32_t state = __atomic_load_n(&g_worker.state, __ATOMIC_ACQUIRE);
  // The worker raised the last job's count and is about to report itself idle: a few instructions.
  while (state == kBusy && g_worker.done->Value() == __atomic_load_n(&g_worker.jobsStarted, __ATOMIC_RELAXED)) {
    Pause();
    state = __atomic_load_n(&g_worker.state, __ATOMIC_ACQUIRE);
  }
  if ((state != kIdle && state != kNoThread) ||
      !__atomic_compare_exchange_n(&g_worker.state, &state, kStarting, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
    return false;
  if (state == kNoThread && !StartWorkerThread()) {
    __atomic_store_n(&g_worker.state, kNoThread, __ATOMIC_RELEASE);
    return false;
  }
  job_ = job;
  context_ = context;
  endOnFailure_ = endOnFailure;
  failed_ = false;
  ticket_ = __atomic_load_n(&g_worker.jobsStarted, __ATOMIC_RELAXED) + 1;
  __atomic_store_n(&g_worker.jobsStarted, ticket_, __ATOMIC_RELAXED);
  g_worker.handed = this;
  __atomic_store_n(&g_worker.state, kHanded, __ATOMIC_RELEASE);  // publishes the fields above
  os::Signal(g_worker.jobReady);
  started_ = true;
  return true;
}

bool Worker::TakeBack() {
  if (!started_) return false;
  int32_t handed = kHanded;
  if (!__atomic_compare_exchange_n(&g_worker.state, &handed, kIdle, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
    return false;
  started_ = false;
  return true;
}

bool Worker::Join() {
  if (started_) {
    g_worker.done->WaitFor(ticket_);
    started_ = false;
  }
  return !failed_;
}

}  // namespace imgctl
