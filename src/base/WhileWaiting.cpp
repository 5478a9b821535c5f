#include "base/WhileWaiting.h"

#include <algorithm>
#include <cstdint>

#include "platform/Platform.h"

namespace {
// Per thread: a helper thread (a connect, a lookup) never runs the window thread's hook.
thread_local TWhileWaitingHook t_hook = nullptr;
// When this thread's hook last ran (the tick count).
thread_local std::uint32_t t_hookRanAt = 0;

// Runs the hook, raising when the wait is no longer wanted.
void RunHook(TWhileWaitingHook hook) {
  t_hookRanAt = platform::TickCount();
  if (!hook()) throw EWaitAbandoned("The wait was abandoned");
}
}  // namespace

TWhileWaitingHook SetWhileWaitingHook(TWhileWaitingHook hook) {
  TWhileWaitingHook old = t_hook;
  t_hook = hook;
  return old;
}

bool HasWhileWaitingHook() { return t_hook != nullptr; }

bool WaitInSlices(int timeoutMs, const std::function<bool(int ms)>& waitFor) {
  const TWhileWaitingHook hook = t_hook;
  if (!hook) return waitFor(timeoutMs);
  const std::uint32_t start = platform::TickCount();
  for (;;) {
    int slice = kWaitSliceMs;
    if (timeoutMs >= 0) {
      const std::uint32_t spent = platform::TickCount() - start;  // unsigned: a wrap of the tick count is harmless
      const int left = spent >= static_cast<std::uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
      slice = std::min(slice, left);
    }
    if (waitFor(slice)) return true;
    if (timeoutMs >= 0 && platform::TickCount() - start >= static_cast<std::uint32_t>(timeoutMs)) return false;
    RunHook(hook);
  }
}

void AnswerWhileWorking() {
  const TWhileWaitingHook hook = t_hook;
  if (hook && platform::TickCount() - t_hookRanAt >= static_cast<std::uint32_t>(kWaitSliceMs)) RunHook(hook);
}
