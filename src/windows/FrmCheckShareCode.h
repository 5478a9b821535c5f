#pragma once
// The verification window: the program's fingerprint, the anti-trojan cloud check box, and
// the install button that asks the mirrors for the published code of this release before
// letting the installation go on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/Forms.h"
#include "net/http/IdHTTP.h"
#include "platform/Platform.h"

class TFrmServerConfirm;

/// The path appended to each mirror's base URL; rebuilt on every press of the install button.
extern std::string VerifyRequestPath;

/// What the last check over the mirrors found.
enum TVerifyVerdict { vdNotAsked, vdMatch, vdMismatch, vdNoAnswer };

class TFrmNetVerify : public TForm {
 public:
  /// Builds the window and runs FormCreate; the window stays hidden until shown.
  explicit TFrmNetVerify(TComponent* owner);
  ~TFrmNetVerify() override;

  /// The verdict the main flow reads once the window has closed: go on to the installation.
  bool ProceedToInstall = false;
  /// The verdict of the last press with the box ticked.
  TVerifyVerdict Verdict = vdNotAsked;
  /// An unattended run: the install button is pressed as the window opens, the certification
  /// closes by itself, and a failed check closes the window with its verdict.
  bool PressAtOnce = false;
  /// How long an unattended run shows the certification (a quiet one shows nothing).
  static constexpr unsigned kUnattendedCertificationMs = 2000;

  TLabel* Label3 = nullptr;
  TSpeedButton* BtnInstall = nullptr;
  TSpeedButton* BtnCopyToClip = nullptr;
  TLabel* LblExeMD5 = nullptr;
  TLabel* LblURL = nullptr;
  TLabel* LblHint = nullptr;
  TCheckBox* CbSafeCheck = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  std::unique_ptr<TIdHTTP> IdHTTP1;
  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem* md51 = nullptr;
  /// Presses the install button once the window shows, in an unattended run.
  TTimer* PressTimer = nullptr;
  /// The certification window, created on the first match and owned by this window.
  TFrmServerConfirm* FrmServerConfirm = nullptr;

  /// The GET of one mirror URL: the body, or an exception for no answer. IdHTTP1's FetchUrl
  /// unless replaced.
  std::function<std::string(const std::string& url)> FetchUrl;
  /// The user's decimal separator (platform::DecimalSeparator unless replaced).
  std::function<char()> DecimalSeparator;
  /// The date of the check (platform::LocalNow unless replaced).
  std::function<platform::LocalDateTime()> Today;

  void FormCreate();
  void BtnInstallClick();
  void CbSafeCheckClick();
  void md51Click();
  void BtnCopyToClipClick();
  void LblURLMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void IdHTTP1WorkBegin(TIdComponent* sender, TWorkMode mode, std::int64_t maximum);
  void IdHTTP1Work(TIdComponent* sender, TWorkMode mode, std::int64_t count);
  void IdHTTP1WorkEnd(TIdComponent* sender, TWorkMode mode);
  /// Hides the progress bar once a mirror's request has ended, however it ended.
  void HideProgress();

 private:
  /// Asks the mirrors in order; true when the first answer decodes to the fingerprint.
  /// Shows the notices of a failed check itself.
  bool VerifyWithMirrors();
  /// Whether the user closed the window (or the application is ending) while the walk
  /// let pending messages through.
  bool CloseRequested() const;
  void CopyFingerprintToClipboard();

  bool walking_ = false;
};

// The window's texts (code page 936), as tests and the end-to-end checks compare them.
namespace verifytext {
extern const char* const kAskingPrefix;  // before the URL while a mirror is asked
extern const char* const kAskingSuffix;  // after the URL
extern const char* const kServerBusy;    // after a mirror gave no answer
extern const char* const kNoNetTitle;    // balloon when no mirror answered
extern const char* const kNoNetText;
extern const char* const kFailedTitle;  // balloon when the check failed
extern const char* const kFailedText;
extern const char* const kAdviceTitle;  // balloon when the box is cleared
extern const char* const kAdviceText;
extern const char* const kCopiedMessage;  // after the fingerprint went to the clipboard
extern const char* const kDesignHint;     // LblHint's text before the first press
}  // namespace verifytext
