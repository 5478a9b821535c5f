#pragma once
// Balloon notices: a borderless, shaped, always-on-top window with an icon, a bold title, a
// text and a close glyph, shown with its pointer's tip on an anchor point. It hides itself
// after its seconds or at once when clicked; when armed, a click also opens the first
// mirror's page. At most one balloon is current; a new one replaces it.
#include <functional>
#include <memory>
#include <string>

#include "gui/Forms.h"

class TBalloon : public TForm {
 public:
  /// A hidden balloon with no owner. Errors while building it are swallowed: the balloon is
  /// returned as far as it was built.
  TBalloon();

  /// Lays out, shapes, places and shows the balloon without activating it, with the tip of
  /// the pointer (kind 0..3, see TBalloonPointer) on (x, y); icon kind 0 "INFO", 1 "ERROR",
  /// 2 "WARNING", else "INFO"; hides it after `seconds`. A missing icon leaves its place
  /// empty; any other error ends it where it happens and is swallowed.
  void ShowAt(int x, int y, const std::string& title, const std::string& text, int icon, int seconds, int kind);

  void CreateParams(TCreateParams& params) override;

  TLabel* TitleLabel = nullptr;
  TLabel* TextLabel = nullptr;
  TImage* IconImage = nullptr;
  TTimer* HideTimer = nullptr;
  std::unique_ptr<TBitmap> CloseGlyph;
  bool PointerOnTop = false;

 protected:
  void ScaleChanged() override;

 private:
  void LoadCloseGlyph();
  void BalloonClick();
  void HideTimerTimer();
  void KeepOnTop();
  void BalloonPaint(TCanvas& canvas);
  void BalloonWindowMessage(TMessage& message);
};

/// Shows a balloon at the mouse pointer: pointer kind 3, information icon, 20 seconds.
void ShowBalloonAtCursor(const std::string& title, const std::string& text);
/// Replaces the current balloon by a new one, shown by ShowAt with the text trimmed (the
/// title as given). The old balloon stays on the screen during a 200 ms wait, then is
/// released. Errors are swallowed.
void ShowBalloon(int x, int y, const std::string& title, const std::string& text, int icon, int seconds, int kind);
/// Creates a hidden balloon if none is current; arms or disarms the click.
void PrepareBalloon(bool openOnClick);
/// Arms or disarms the click: when armed, the next click on a balloon opens FirstMirrorUrl.
void SetOpenOnClick(bool openOnClick);
/// Loads `bitmap` from the resource `name` of type `type` of the program's own module, a
/// complete .bmp file image. Errors (a missing resource, a broken image) are swallowed and
/// leave the bitmap unchanged.
void LoadBitmapResource(TBitmap& bitmap, const std::string& name, const std::string& type);

/// The balloon most recently created, or nullptr.
TBalloon* CurrentBalloon();
/// Whether the next click on a balloon opens FirstMirrorUrl.
bool OpenOnClick();
/// Deletes the current balloon and disarms the click: the unit's state as at program start.
void ResetBalloons();
/// The blocking wait between releasing a balloon and showing the next (platform::SleepMs
/// unless replaced; tests replace it). An empty function restores the default.
void SetBalloonWait(std::function<void(unsigned ms)> wait);
