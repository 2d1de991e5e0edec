// Tasks shared by the two threads of a decode: taken in order, each publishing how far it has come.
#pragma once
#include <stdint.h>

#include "imgctl/core/os_thread.h"

namespace imgctl {

// A decode's work as a list of tasks (the scans of a progressive file, then the reconstruction),
// each of which may depend on earlier ones row by row: before a task works on row r it waits until
// the earlier tasks it depends on have passed row r. Each thread takes the next task not yet taken
// and runs it to its end. A task only ever waits on earlier tasks, and the earliest unfinished task
// waits on none that is unfinished, so the two threads always get on. Any task may abandon the
// whole board (damage, or work past its bound): every wait then returns false at once.
//
// Thread-safety: the task counter, the progress counts and the abandon flag are atomic; everything
// a task wrote before it raised its progress is visible to a thread that has seen that progress.
// Thread 0 is the caller, thread 1 the worker.
class TaskBoard {
 public:
  static constexpr int32_t kDone = INT32_MAX;

  // `progress` holds one count per task, zeroed; it outlives the board's use.
  TaskBoard(int32_t *progress, int32_t tasks);
  ~TaskBoard();
  TaskBoard(const TaskBoard &) = delete;
  TaskBoard &operator=(const TaskBoard &) = delete;

  // Makes the events the threads sleep on; false when the system has none to give.
  bool Prepare();
  // The next task to run, or -1 when every task has been taken (or the board is abandoned).
  int32_t Take();
  // Task `task` has finished its rows before `rows` (kDone: all of them).
  void Reach(int32_t task, int32_t rows);
  // Waits until task `task` has passed `rows` rows; false once the board is abandoned. A thread
  // that has to sleep asks for `ahead` rows more, so that it is not woken for every row.
  bool WaitFor(int thread, int32_t task, int32_t rows, int32_t ahead);
  void Abandon();
  bool Abandoned() const { return __atomic_load_n(&abandoned_, __ATOMIC_ACQUIRE) != 0; }

 private:
  void Wake(int thread, bool always);

  int32_t *progress_;
  int32_t tasks_;
  int32_t next_ = 0;
  int32_t abandoned_ = 0;
  struct Sleeper {
    int32_t sleeping = 0;
    int32_t task = 0;  // what the sleeping thread waits for
    int32_t rows = 0;
    os::Event wake = nullptr;
  } sleepers_[2];
};

}  // namespace imgctl
