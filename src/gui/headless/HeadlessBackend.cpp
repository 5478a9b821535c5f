// The headless backend: peers that keep records, a virtual clock, and the test driver.
#include <algorithm>
#include <cstdint>
#include <map>

#include "base/SysUtils.h"
#include "gui/Backend.h"
#include "gui/headless/Headless.h"

namespace gui::headless {
namespace {

class HeadlessTimer;
class HeadlessFormPeer;

// Virtual time after which a modal loop gives up: a window that never ends (a timer that
// keeps ticking) fails its test instead of hanging it.
constexpr std::uint64_t kModalTimeLimitMs = 600000;

struct Posted {
  std::uint64_t due;
  std::uint64_t seq;
  std::function<void()> action;
  bool close = false;  // the user's close of a window: taken inside a wait too
};

struct State {
  std::uint64_t now = 0;
  std::uint64_t seq = 0;
  std::vector<Posted> posted;
  std::vector<HeadlessTimer*> timers;
  std::vector<MessageBoxRecord> boxes;
  std::map<const TForm*, WindowRecord> records;
  std::function<void(TForm&)> modalHook;
  LoopEnd lastEnd = LoopEnd::None;
  TForm* active = nullptr;
  int whileWaitingCalls = 0;
  int pixelsPerInch = kDesignPixelsPerInch;
};

State& S() {
  static State* s = new State;  // outlives every window, which may be torn down at exit
  return *s;
}

class HeadlessTimer : public TimerPeer {
 public:
  explicit HeadlessTimer(TTimer& t) : timer_(t) { S().timers.push_back(this); }
  ~HeadlessTimer() override {
    auto& v = S().timers;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  void Update() override {
    if (timer_.Active()) due_ = S().now + timer_.Interval();
  }
  bool Due(std::uint64_t& when) const {
    if (!timer_.Active() || busy_) return false;
    when = due_;
    return true;
  }
  void Fire() {
    due_ = S().now + std::max(1u, timer_.Interval());
    busy_ = true;
    gui::CallHandler([this] { timer_.Tick(); });
    busy_ = false;
  }

 private:
  TTimer& timer_;
  std::uint64_t due_ = 0;
  bool busy_ = false;  // a tick handler that pumps messages does not tick again inside
};

class HeadlessPeer : public ControlPeer {};

class HeadlessFormPeer : public ControlPeer, public FormPeer {
 public:
  explicit HeadlessFormPeer(TForm& f) : form_(f) {
    WindowRecord& r = S().records[&form_];
    r = WindowRecord();
    r.created = true;
    form_.CreateParams(r.params);
  }
  ~HeadlessFormPeer() override {
    S().records.erase(&form_);
    if (S().active == &form_) S().active = nullptr;
  }
  FormPeer* AsForm() override { return this; }
  void VisibleChanged() override { Show(form_.Visible() ? kSwShow : kSwHide); }
  void Show(int cmd) override {
    WindowRecord& r = S().records[&form_];
    if (!r.showCommands.empty() && r.showCommands.back() == cmd && cmd != kSwShowNoActivate) return;
    r.showCommands.push_back(cmd);
    if (cmd == kSwShow) {
      ++r.activations;
      TForm* prev = S().active;
      if (prev != &form_) {
        S().active = &form_;
        if (prev && prev->OnDeactivate) gui::CallHandler(prev->OnDeactivate);
        if (form_.OnActivate) gui::CallHandler(form_.OnActivate);
      }
    } else if (cmd == kSwHide && S().active == &form_) {
      S().active = nullptr;
      if (form_.OnDeactivate) gui::CallHandler(form_.OnDeactivate);
    }
  }
  void SetZOrder(std::intptr_t after, unsigned flags) override { S().records[&form_].zOrder.push_back({after, flags}); }
  void RegionChanged(bool) override { ++S().records[&form_].regionChanges; }
  void RunModalLoop() override;
  int PixelsPerInch() override { return S().pixelsPerInch; }

 private:
  TForm& form_;
};

// Runs the next posted action or timer tick due at or before `limit`, moving the clock to it.
bool RunOne(std::uint64_t limit) {
  State& s = S();
  Application->DeleteReleasedForms();
  // The earliest posted action and the earliest timer; actions go first at equal times.
  auto pit = std::min_element(s.posted.begin(), s.posted.end(), [](const Posted& a, const Posted& b) {
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
  });
  HeadlessTimer* timer = nullptr;
  std::uint64_t tdue = 0;
  for (HeadlessTimer* t : s.timers) {
    std::uint64_t d;
    if (t->Due(d) && (!timer || d < tdue)) {
      timer = t;
      tdue = d;
    }
  }
  bool havePost = pit != s.posted.end();
  if (!havePost && !timer) return false;
  bool takePost = havePost && (!timer || pit->due <= tdue);
  std::uint64_t when = takePost ? pit->due : tdue;
  if (when > limit) return false;
  if (when > s.now) s.now = when;
  if (takePost) {
    auto action = std::move(pit->action);
    s.posted.erase(pit);
    gui::CallHandler(action);
  } else {
    timer->Fire();
  }
  return true;
}

void HeadlessFormPeer::RunModalLoop() {
  State& s = S();
  const std::uint64_t start = s.now;
  if (auto hook = std::move(s.modalHook)) {
    s.modalHook = nullptr;
    gui::CallHandler([&] { hook(form_); });
  }
  LoopEnd end = LoopEnd::ModalResult;
  while (form_.ModalResult() == mrNone) {
    if (Application->Terminated()) {
      end = LoopEnd::Terminated;
      break;
    }
    if (s.now - start > kModalTimeLimitMs) {
      end = LoopEnd::TimeLimit;
      break;
    }
    if (!RunOne(UINT64_MAX)) {
      end = LoopEnd::Idle;
      break;
    }
  }
  s.lastEnd = end;
}

class HeadlessBackend : public Backend {
 public:
  std::unique_ptr<ControlPeer> CreatePeer(TControl& c) override {
    if (c.Kind() == TControlKind::Form) return std::make_unique<HeadlessFormPeer>(static_cast<TForm&>(c));
    return std::make_unique<HeadlessPeer>();
  }
  std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& t) override { return std::make_unique<HeadlessTimer>(t); }
  TextExtent FrameSize(const TCreateParams& p, int ppi) override {
    // A sizeable frame of 4 pixels a side and a 26-pixel title bar; a caption-only border 3;
    // all of it scaled with the resolution, as the system's are.
    if ((p.Style & kWsCaption) != kWsCaption) return {0, 0};
    if (p.Style & kWsThickFrame) return {ScaleLength(8, ppi), ScaleLength(34, ppi)};
    return {ScaleLength(6, ppi), ScaleLength(32, ppi)};
  }
  int ScreenPixelsPerInch() override { return S().pixelsPerInch; }
  TextExtent MeasureText(const TFont& f, const std::string& text) override {
    int h = f.PixelHeight();
    int w = 0;
    // A double-byte character of the program's texts is a square, any other half of one.
    for (size_t i = 0, n; i < text.size(); i += n) {
      n = ProgramCharLength(text, i);
      w += n == 2 ? h : (h + 1) / 2;
    }
    if (f.Bold()) w += static_cast<int>(text.size()) / 4;
    return {w, h};
  }
  void ProcessMessages() override {
    // Everything due now; the clock does not move.
    for (int guard = 0; guard < 100000 && RunOne(S().now); ++guard) {
    }
  }
  int MessageBox(const TDisplayText& text, const std::string& caption, unsigned flags) override {
    S().boxes.push_back({platform::MessageText(text).Bytes(), caption, flags, platform::MessageNative(text)});
    return kIdOk;
  }
  std::intptr_t ApplicationHandle() override { return 0; }
};

class RecordingCanvas : public TCanvas {
 public:
  std::vector<PaintOp> ops;
  void FrameWindowRegion(TColor color, int w, int h) override {
    PaintOp op;
    op.kind = PaintOp::FrameRegion;
    op.color = color;
    op.w = w;
    op.h = h;
    ops.push_back(op);
  }
  void Draw(int x, int y, const TBitmap& b) override {
    if (b.Empty()) return;
    PaintOp op;
    op.kind = PaintOp::Draw;
    op.x = x;
    op.y = y;
    op.w = b.Width();
    op.h = b.Height();
    op.bitmap = &b;
    ops.push_back(op);
  }
  void FillRect(const TRect& r, TColor color) override {
    PaintOp op;
    op.kind = PaintOp::FillRect;
    op.color = color;
    op.x = r.Left;
    op.y = r.Top;
    op.w = r.Width();
    op.h = r.Height();
    ops.push_back(op);
  }
  void TextOut(int x, int y, const std::string& text, const TFont& font) override {
    PaintOp op;
    op.kind = PaintOp::Text;
    op.color = font.Color;
    op.x = x;
    op.y = y;
    op.text = text;
    ops.push_back(op);
  }
};

}  // namespace

std::uint64_t Now() { return S().now; }

void Reset() {
  State& s = S();
  Application->DeleteReleasedForms();
  s.now = 0;
  s.posted.clear();
  s.boxes.clear();
  s.modalHook = nullptr;
  s.lastEnd = LoopEnd::None;
  s.pixelsPerInch = kDesignPixelsPerInch;
  for (HeadlessTimer* t : s.timers) t->Update();
  Application->ResetTerminated();
}

void Post(std::function<void()> action, std::uint64_t delayMs) {
  State& s = S();
  s.posted.push_back({s.now + delayMs, s.seq++, std::move(action)});
}

void PostClick(TControl& c, std::uint64_t delayMs) {
  Post(
      [&c] {
        if (c.Visible() && c.Enabled()) c.Click();
      },
      delayMs);
}

void PostMouseDown(TControl& c, TMouseButton b, int x, int y, std::uint64_t delayMs) {
  Post(
      [&c, b, x, y] {
        if (c.Visible() && c.Enabled()) c.MouseDown(b, 0, x, y);
      },
      delayMs);
}

void PostClose(TForm& f, std::uint64_t delayMs) {
  Post([&f] { f.Close(); }, delayMs);
  S().posted.back().close = true;
}

void PostTaskBarClose(std::uint64_t delayMs) {
  Post(
      [] {
        if (TForm* form = Application->ModalForm()) form->Close();
      },
      delayMs);
  S().posted.back().close = true;
}

void AdvanceClock(std::uint64_t ms) { S().now += ms; }

void PostMinimize(TForm& f, std::uint64_t delayMs) {
  Post([&f] { SendWindowMessage(f, kWmSize, kSizeMinimized, 0); }, delayMs);
}

void PostMenuClick(TMenuItem& item, std::uint64_t delayMs) {
  Post([&item] { item.Click(); }, delayMs);
}

void PostKey(TForm& f, Key key, std::uint64_t delayMs) {
  Post(
      [&f, key] {
        if (key == Key::Enter) return f.PressEnter();
        if (key == Key::Escape) return f.PressEscape();
        if (key != Key::Space) {
          f.SelectNext(key == Key::Tab);
          return;
        }
        TControl* focused = f.ActiveControl();
        if (focused && focused->Kind() == TControlKind::CheckBox && focused->Visible() && focused->Enabled())
          focused->Click();
      },
      delayMs);
}

void SendWindowMessage(TForm& f, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  if (f.HandleAllocated()) S().records[&f].messages.push_back(m);
  if (f.OnWindowMessage) f.OnWindowMessage(m);
}

bool Step() { return RunOne(UINT64_MAX); }

bool RunUntil(const std::function<bool()>& done, std::uint64_t maxMs) {
  const std::uint64_t start = S().now;
  while (!done()) {
    if (S().now - start > maxMs || !RunOne(start + maxMs)) return done();
  }
  return true;
}

void RunFor(std::uint64_t ms) {
  const std::uint64_t end = S().now + ms;
  while (RunOne(end)) {
  }
  if (S().now < end) S().now = end;
}

void WhenModal(std::function<void(TForm&)> hook) { S().modalHook = std::move(hook); }
LoopEnd LastLoopEnd() { return S().lastEnd; }
int WhileWaitingCalls() { return S().whileWaitingCalls; }
const std::vector<MessageBoxRecord>& MessageBoxes() { return S().boxes; }

void SetScreenPixelsPerInch(int pixelsPerInch) { S().pixelsPerInch = pixelsPerInch; }

WindowRecord Record(const TForm& f) {
  auto it = S().records.find(&f);
  return it == S().records.end() ? WindowRecord() : it->second;
}

std::vector<PaintOp> Paint(TForm& form) {
  RecordingCanvas canvas;
  if (form.OnPaint) gui::CallHandler([&] { form.OnPaint(canvas); });
  return canvas.ops;
}

}  // namespace gui::headless

namespace gui {
Backend& TheBackend() {
  static Backend* backend = new headless::HeadlessBackend;  // outlives every window
  return *backend;
}

// Nothing is sent to headless windows from outside; the calls are counted for the tests, and
// the user's closes that are due are taken, as the win32 backend takes them.
void ProcessWhileWaiting() {
  headless::State& s = headless::S();
  ++s.whileWaitingCalls;
  for (;;) {
    auto due = std::find_if(s.posted.begin(), s.posted.end(),
                            [&s](const headless::Posted& p) { return p.close && p.due <= s.now; });
    if (due == s.posted.end()) return;
    auto action = std::move(due->action);
    s.posted.erase(due);
    gui::CallHandler(action);
  }
}
}  // namespace gui
