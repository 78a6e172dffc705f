// An auto-reset event: Set lets exactly one Wait return and the event resets
// itself as that waiter is released; a Set with nobody waiting stays
// signalled until the next Wait, which returns at once and resets it. Several
// Sets before a Wait count as one.
#pragma once

#include <condition_variable>
#include <mutex>

namespace print {

class AutoResetEvent {
 public:
  explicit AutoResetEvent(bool signalled) : signalled_(signalled) {}
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    condition_.notify_one();
  }

  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_;
};

}  // namespace print
