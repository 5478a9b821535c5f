#pragma once
// The green certification window: where the release comes from, the software's name, its
// fingerprint and the date of the check, and the verdict that it was not tampered with.
// It holds no logic beyond closing.
#include <string>

#include "gui/Forms.h"
#include "platform/Platform.h"

// Names of the button faces among the program's bitmaps (res/bitmaps.rc).
constexpr const char* kInstallFaceResource = "BINSTALL";  // 79 x 25, the words 开始安装
constexpr const char* kCopyGlyphResource = "BCOPY";       // 21 x 20, two documents
// What the picture buttons say, as screen readers and window listers read them.
constexpr const char* kInstallCaption = "开始安装";
constexpr const char* kCopyCaption = "复制软件MD5到剪贴板";

class TFrmServerConfirm : public TForm {
 public:
  explicit TFrmServerConfirm(TComponent* owner);

  /// Fills the three lines the verification writes before showing the window.
  void SetCheckTexts(const std::string& fingerprint, const std::string& displayName,
                     const platform::LocalDateTime& checkDate);

  TLabel* LblTime = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* LblMD5 = nullptr;
  TLabel* LbSoft = nullptr;
  TPanel* Panel36 = nullptr;
  TPanel* Panel1 = nullptr;
  TSpeedButton* SpeedButton1 = nullptr;
  TPanel* Panel2 = nullptr;
  TLabel* Label4 = nullptr;
  TPanel* Panel3 = nullptr;

  void SpeedButton1Click();
  /// Shows the window modally and closes it after `ms` milliseconds, as its button would
  /// (an unattended run, where nobody presses it).
  void ShowFor(unsigned ms);

 private:
  TTimer* closeTimer_ = nullptr;
};

/// The origin line: "发布自" immediately followed by the home page's base URL.
std::string PublisherText(const std::string& homePage);
/// A date as the certification shows it: yyyy-mm-dd.
std::string FormatCheckDate(const platform::LocalDateTime& date);
