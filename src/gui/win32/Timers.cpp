// Timers: a thread timer of the system per running TTimer, ticking through one callback.
#include <map>

#include "gui/win32/Peers.h"

namespace gui::win32 {
namespace {

std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  TTimer* t = it->second;
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
    if (id_) Timers()[id_] = &timer_;
  }

 private:
  void Stop() {
    if (!id_) return;
    KillTimer(nullptr, id_);
    Timers().erase(id_);
    id_ = 0;
  }
  TTimer& timer_;
  UINT_PTR id_ = 0;
};

}  // namespace

std::unique_ptr<TimerPeer> NewTimerPeer(TTimer& timer) { return std::make_unique<Win32Timer>(timer); }

}  // namespace gui::win32
