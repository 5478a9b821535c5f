#include "gui/Forms.h"

#include <algorithm>

#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "base/WhileWaiting.h"
#include "gui/Backend.h"

namespace {
int g_formCount = 0;
gui::FormPeer* FormPeerOf(TControl& c) { return c.Peer()->AsForm(); }
// The forms whose modal loops run, innermost last.
std::vector<TForm*>& ModalForms() {
  static std::vector<TForm*>* forms = new std::vector<TForm*>;  // outlives every window
  return *forms;
}
}  // namespace

// ---- TForm ----------------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TControl(owner), pixelsPerInch_(gui::TheBackend().ScreenPixelsPerInch()) {
  ++g_formCount;
  SetVisible(false);
  SetColor(clBtnFace);
  TFont f;
  SetFont(f);
  SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
  --g_formCount;
  DestroyComponents();
}

int TForm::InstanceCount() { return g_formCount; }

void TForm::CreateParams(TCreateParams& p) {
  p.Style = gui::kWsClipChildren;
  p.ExStyle = 0;
  switch (borderStyle_) {
    case bsNone: p.Style |= gui::kWsPopup; break;
    case bsSizeable:
      p.Style |= gui::kWsCaption | gui::kWsSysMenu | gui::kWsThickFrame | gui::kWsMinimizeBox | gui::kWsMaximizeBox;
      break;
    case bsToolWindow:
      p.Style |= gui::kWsCaption | gui::kWsSysMenu;
      p.ExStyle |= gui::kWsExToolWindow;
      break;
    default: p.Style |= gui::kWsCaption | gui::kWsSysMenu | gui::kWsMinimizeBox; break;
  }
  if (formStyle_ == fsStayOnTop) p.ExStyle |= gui::kWsExTopmost;
  // Owned by the application's window: the task bar shows that one, with the title, and
  // no button of the form's own.
  p.WndParent = Application->Handle();
}

int TForm::ClientWidth() const {
  TCreateParams p;
  const_cast<TForm*>(this)->CreateParams(p);
  return Width() - gui::TheBackend().FrameSize(p, pixelsPerInch_).cx;
}

int TForm::ClientHeight() const {
  TCreateParams p;
  const_cast<TForm*>(this)->CreateParams(p);
  return Height() - gui::TheBackend().FrameSize(p, pixelsPerInch_).cy;
}

void TForm::SetClientWidth(int w) { SetWidth(w + (Width() - ClientWidth())); }
void TForm::SetClientHeight(int h) { SetHeight(h + (Height() - ClientHeight())); }

void TForm::SetDesignClientSize(int width, int height) {
  designClient_ = true;
  designClientWidth_ = width;
  designClientHeight_ = height;
  SetClientWidth(Scaled(width));
  SetClientHeight(Scaled(height));
}

void TForm::ScaleChanged() {
  if (!designClient_) return;
  SetClientWidth(Scaled(designClientWidth_));
  SetClientHeight(Scaled(designClientHeight_));
}

void TForm::ChangeScale(int pixelsPerInch) {
  if (pixelsPerInch <= 0 || pixelsPerInch == pixelsPerInch_) return;
  pixelsPerInch_ = pixelsPerInch;
  ApplyScale();
}

void TForm::ChangeScale(int pixelsPerInch, const TRect& suggested) {
  // Laid out for that resolution already (a balloon placed on the monitor it was laid out
  // for): its own bounds hold, not the proposal scaled from the old resolution.
  if (pixelsPerInch <= 0 || pixelsPerInch == pixelsPerInch_) return;
  ChangeScale(pixelsPerInch);
  SetBounds(suggested.Left, suggested.Top, suggested.Width(), suggested.Height());
}

void TForm::Realised() { ChangeScale(FormPeerOf(*this)->PixelsPerInch()); }

void TForm::PressEnter() {
  if (defaultControl_ && defaultControl_->Visible() && defaultControl_->Enabled()) defaultControl_->Click();
}

void TForm::PressEscape() { Close(); }

void TForm::SetBounds(int left, int top, int width, int height) { TControl::SetBounds(left, top, width, height); }

void TForm::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b;
  Realign();
  NotifyPeer();
}

void TForm::SetFormStyle(TFormStyle s) {
  formStyle_ = s;
  NotifyPeer();
}

void TForm::SetVisible(bool v) {
  if (v == Visible()) return;
  if (v) HandleNeeded();
  if (v && Application->Quiet())
    visible_ = true;  // shown as far as the program can tell; its window stays hidden
  else
    TControl::SetVisible(v);
  if (v && OnShow) gui::CallHandler(OnShow);
}

void TForm::ShowNoActivate() {
  HandleNeeded();
  if (!Application->Quiet()) FormPeerOf(*this)->Show(gui::kSwShowNoActivate);
  // Marked visible without showing it again, which would activate it.
  if (!Visible()) {
    visible_ = true;
    if (OnShow) gui::CallHandler(OnShow);
  }
}

void TForm::SetZOrder(std::intptr_t insertAfter, unsigned flags) {
  HandleNeeded();
  FormPeerOf(*this)->SetZOrder(insertAfter, flags);
}

void TForm::SetWindowRegion(const TWindowRegion& region, bool redraw) {
  region_ = region;
  HandleNeeded();
  FormPeerOf(*this)->RegionChanged(redraw);
}

int TForm::ShowModal() {
  HandleNeeded();
  modal_ = true;
  modalResult_ = mrNone;
  SetVisible(true);
  SelectFirst();
  ModalForms().push_back(this);
  {
    auto leave = OnScopeExit([this] { ModalForms().erase(std::find(ModalForms().begin(), ModalForms().end(), this)); });
    FormPeerOf(*this)->RunModalLoop();
  }
  if (modalResult_ == mrNone && Application->Terminated()) modalResult_ = mrCancel;
  modal_ = false;
  SetVisible(false);
  return modalResult_;
}

namespace {
void AddTabStops(const TControl& container, std::vector<TControl*>& list) {
  std::vector<TControl*> kids = container.Controls();
  // Unordered controls (TabOrder -1) after the ordered ones, in the order they were placed.
  std::stable_sort(kids.begin(), kids.end(), [](const TControl* a, const TControl* b) {
    return static_cast<unsigned>(a->TabOrder()) < static_cast<unsigned>(b->TabOrder());
  });
  for (TControl* k : kids) {
    if (!k->Visible() || !k->Enabled()) continue;
    if (k->TabStop()) list.push_back(k);
    AddTabStops(*k, list);
  }
}
}  // namespace

std::vector<TControl*> TForm::TabList() const {
  std::vector<TControl*> list;
  AddTabStops(*this, list);
  return list;
}

void TForm::Focus(TControl* control) {
  activeControl_ = control;
  if (control && control->Peer()) control->Peer()->SetFocus();
}

void TForm::SelectFirst() {
  const auto list = TabList();
  Focus(list.empty() ? nullptr : list.front());
}

void TForm::SelectNext(bool forward) {
  const auto list = TabList();
  if (list.empty()) return;
  auto at = std::find(list.begin(), list.end(), activeControl_);
  size_t i = at == list.end() ? (forward ? list.size() - 1 : 0) : static_cast<size_t>(at - list.begin());
  i = forward ? (i + 1) % list.size() : (i + list.size() - 1) % list.size();
  Focus(list[i]);
}

void TForm::SetModalResult(int r) {
  modalResult_ = r;
  if (modal_ && HandleAllocated()) FormPeerOf(*this)->Wake();
}

void TForm::Close() {
  if (modal_)
    SetModalResult(mrCancel);
  else
    Hide();
}

void TForm::Release() {
  if (!Owner()) return;
  Owner()->RemoveComponent(this);
  Application->ReleaseForm(std::unique_ptr<TForm>(this));
}

void TForm::Loaded() {
  if (OnCreate) gui::CallHandler(OnCreate);
}

// ---- TApplication -----------------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {
  // Created on the window thread: its network waits keep the windows answering, and end
  // once the window they work for has been closed.
  SetWhileWaitingHook([] {
    gui::ProcessWhileWaiting();
    return Application->WaitWanted();
  });
}

TApplication::~TApplication() {
  released_.clear();
  DestroyComponents();
}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  gui::TheBackend().TitleChanged(t);
}

void TApplication::ProcessMessages() {
  DeleteReleasedForms();
  gui::TheBackend().ProcessMessages();
}

void TApplication::Terminate() {
  terminated_ = true;
  gui::TheBackend().Wake();
}

void TApplication::Run() {
  // No window is ever the main window: there is nothing to wait for.
  DeleteReleasedForms();
}

TForm* TApplication::ModalForm() const { return ModalForms().empty() ? nullptr : ModalForms().back(); }

bool TApplication::WaitWanted() const {
  if (terminated_) return false;
  for (const TForm* form : ModalForms())
    if (form->ModalResult() != mrNone) return false;
  return true;
}

void TApplication::HandleException(const std::exception& e) { ShowErrorBox(TDisplayText(e.what())); }

void TApplication::HandleException(const Exception& e) { ShowErrorBox(e.Display()); }

void TApplication::ShowErrorBox(const TDisplayText& text) {
  MessageBox(ErrorBoxMessage(text), title_, gui::kMbOk | gui::kMbIconError);
}

int TApplication::MessageBox(const TDisplayText& text, const std::string& caption, unsigned flags) {
  LogLine(std::string(flags & gui::kMbIconError ? "error box: " : "message box: ") +
          (quiet_ ? "(not shown: a quiet run) " : "") + platform::MessageNative(text));
  return quiet_ ? gui::kIdOk : gui::TheBackend().MessageBox(text, caption, flags);
}

std::intptr_t TApplication::Handle() { return gui::TheBackend().ApplicationHandle(); }

void TApplication::ReleaseForm(std::unique_ptr<TForm> form) {
  if (!form) return;
  form->Hide();
  released_.push_back(std::move(form));
}

void TApplication::DeleteReleasedForms() {
  auto doomed = std::move(released_);
  released_.clear();
  doomed.clear();
}

namespace {
TApplication& TheApplication() {
  static TApplication app;
  return app;
}
}  // namespace

TApplication* const Application = &TheApplication();

namespace gui {
void CallHandler(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const Exception& e) {
    Application->HandleException(e);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
}
}  // namespace gui
