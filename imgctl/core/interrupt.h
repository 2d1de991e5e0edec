// A decode's early stop: the caller may have something more urgent waiting, such as a key the saver must answer.
#pragma once

namespace imgctl {

// Asked now and then, on the calling thread, while a decode runs; true stops the decode.
typedef bool (*UrgentCheck)();

// Holds a check for the scope of one operation. Decodes run one at a time, under the library's lock,
// and only the thread that called asks: the worker never does.
class InterruptScope {
 public:
  explicit InterruptScope(UrgentCheck check);
  ~InterruptScope();
  InterruptScope(const InterruptScope &) = delete;
  InterruptScope &operator=(const InterruptScope &) = delete;
};

// Polled by the decoders between rows on the calling thread: true once the check has fired in this
// scope (and from then on). A decode that sees it stops as it would at damage, and the picture is
// not taken as decoded: the next draw decodes it again.
bool DecodeInterrupted();

}  // namespace imgctl
