// Timers: a thread timer of the system per running TTimer, ticking through one callback.
#include <utility>
#include <vector>

#include "gui/win32/Peers.h"

namespace gui::win32 {
namespace {

// The running timers by the system's timer id: a handful at most. Never destroyed: statics end
// in the reverse order of their making, and this list is made when the first timer starts,
// after a static that holds a timer (the balloon's) and stops it when it ends.
std::vector<std::pair<UINT_PTR, TTimer*>>& Timers() {
  static auto* timers = new std::vector<std::pair<UINT_PTR, TTimer*>>;
  return *timers;
}

TTimer* TimerWithId(UINT_PTR id) {
  for (const auto& [key, timer] : Timers())
    if (key == id) return timer;
  return nullptr;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  TTimer* t = TimerWithId(id);
  if (!t) return;
  CallHandler([t] { t->Tick(); });
}

class Win32Timer : public TimerPeer {
 public:
  explicit Win32Timer(TTimer& t) : timer_(t) {}
  ~Win32Timer() override { Stop(); }
  void Update() override {
    Stop();
    if (!timer_.Active()) return;
    id_ = SetTimer(nullptr, 0, timer_.Interval(), TimerProc);
    if (id_) Timers().emplace_back(id_, &timer_);
  }

 private:
  void Stop() {
    if (!id_) return;
    KillTimer(nullptr, id_);
    auto& timers = Timers();
    for (auto it = timers.begin(); it != timers.end(); ++it)
      if (it->first == id_) {
        timers.erase(it);
        break;
      }
    id_ = 0;
  }
  TTimer& timer_;
  UINT_PTR id_ = 0;
};

}  // namespace

std::unique_ptr<TimerPeer> NewTimerPeer(TTimer& timer) { return std::make_unique<Win32Timer>(timer); }

}  // namespace gui::win32
