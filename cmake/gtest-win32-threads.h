// Force-included into every C++ file of the win32 build (see CMakeLists.txt). The win32
// thread model has no std::mutex and no std::condition_variable; googletest uses them only in
// its Notification, a start signal for its own thread tests (which ours never call). It is
// given here without them; googletest then takes this one.
#pragma once
#ifdef __cplusplus
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
#endif
