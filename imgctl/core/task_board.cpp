// Tasks shared by the two threads of a decode: taking them, publishing progress and waiting on it.
#include "imgctl/core/task_board.h"

#include "imgctl/core/spin_wait.h"

namespace imgctl {

TaskBoard::TaskBoard(int32_t *progress, int32_t tasks) : progress_(progress), tasks_(tasks) {}

TaskBoard::~TaskBoard() {
  for (Sleeper &s : sleepers_)
    if (s.wake != nullptr) os::DeleteEvent(s.wake);
}

bool TaskBoard::Prepare() {
  for (Sleeper &s : sleepers_) {
    if (s.wake == nullptr) s.wake = os::NewEvent();
    if (s.wake == nullptr) return false;
  }
  return true;
}

int32_t TaskBoard::Take() {
  if (Abandoned()) return -1;
  int32_t task = __atomic_fetch_add(&next_, 1, __ATOMIC_ACQ_REL);
  return task < tasks_ ? task : -1;
}

// The sleeper announces what it waits for and that it will sleep, then looks once more; the raiser
// publishes its progress and then looks for a sleeper whose wait it ends. Both in sequentially
// consistent order, so at least one of them sees the other's write: no wake is lost.
void TaskBoard::Wake(int thread, bool always) {
  Sleeper &s = sleepers_[thread];
  if (__atomic_load_n(&s.sleeping, __ATOMIC_SEQ_CST) == 0) return;
  if (!always) {
    int32_t task = __atomic_load_n(&s.task, __ATOMIC_SEQ_CST);
    if (__atomic_load_n(&progress_[task], __ATOMIC_SEQ_CST) < __atomic_load_n(&s.rows, __ATOMIC_SEQ_CST)) return;
  }
  if (__atomic_exchange_n(&s.sleeping, 0, __ATOMIC_SEQ_CST) != 0) os::Signal(s.wake);
}

void TaskBoard::Reach(int32_t task, int32_t rows) {
  __atomic_store_n(&progress_[task], rows, __ATOMIC_SEQ_CST);
  // Only the thread that is not running this task can be waiting on it.
  Wake(0, false);
  Wake(1, false);
}

void TaskBoard::Abandon() {
  __atomic_store_n(&abandoned_, 1, __ATOMIC_SEQ_CST);
  Wake(0, true);
  Wake(1, true);
}

bool TaskBoard::WaitFor(int thread, int32_t task, int32_t rows, int32_t ahead) {
  if (SpinUntil([&] { return __atomic_load_n(&progress_[task], __ATOMIC_ACQUIRE) >= rows || Abandoned(); }))
    return __atomic_load_n(&progress_[task], __ATOMIC_ACQUIRE) >= rows;
  Sleeper &s = sleepers_[thread];
  const int32_t target = rows > kDone - ahead ? kDone : rows + ahead;
  for (;;) {
    __atomic_store_n(&s.task, task, __ATOMIC_SEQ_CST);
    __atomic_store_n(&s.rows, target, __ATOMIC_SEQ_CST);
    __atomic_store_n(&s.sleeping, 1, __ATOMIC_SEQ_CST);
    int32_t reached = __atomic_load_n(&progress_[task], __ATOMIC_SEQ_CST);
    if (reached >= target || __atomic_load_n(&abandoned_, __ATOMIC_SEQ_CST) != 0) {
      __atomic_store_n(&s.sleeping, 0, __ATOMIC_SEQ_CST);
      return reached >= rows;
    }
    // A signal left over from an earlier wake only makes this loop look once more.
    os::WaitFor(s.wake);
    reached = __atomic_load_n(&progress_[task], __ATOMIC_ACQUIRE);
    if (reached >= rows) return true;
    if (Abandoned()) return false;
  }
}

}  // namespace imgctl
