#pragma once
// The base of every error and the text helpers all layers share. Texts are byte strings in
// code page 936; only ASCII letters change case, and trimming removes bytes of value <= 32.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "platform/Text.h"

/// Base of all exceptions of the system: a fixed message text, no localisation.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  /// With the message for a person composed apart, where it names a path or gives the
  /// system's words, which the message (a text of the program) can only approximate.
  Exception(std::string message, TDisplayText display) : message_(std::move(message)), display_(std::move(display)) {}
  const std::string& Message() const { return message_; }
  /// The message for a person, every path and system text in it whole.
  TDisplayText Display() const { return display_.Empty() ? TDisplayText(message_) : display_; }
  const char* what() const noexcept override { return message_.c_str(); }
  /// The dynamic class name, for reports such as "EIdSocketError: ...".
  virtual const char* ClassName() const { return "Exception"; }
  /// Puts where the error happened in front of the message, for a handler that knows more
  /// than the code that raised it and rethrows the same exception (its type kept).
  void PrefixMessage(const std::string& where) {
    if (!display_.Empty()) display_ = TDisplayText(where) + display_;
    message_ = where + message_;
  }

 private:
  std::string message_;
  TDisplayText display_;
};

#define SETUPTQ_EXCEPTION(Name, Base)                        \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

SETUPTQ_EXCEPTION(EStreamError, Exception);
/// A file that could not be opened or created: the message, and its parts for a message of
/// the program's own (the expanded file name, the system's reason in the system's language),
/// each whole.
class EFileError : public EStreamError {
 public:
  explicit EFileError(std::string message, TPath fileName = TPath(), TDisplayText reason = TDisplayText(),
                      TDisplayText display = TDisplayText())
      : EStreamError(std::move(message), std::move(display)),
        fileName_(std::move(fileName)),
        reason_(std::move(reason)) {}
  const char* ClassName() const override { return "EFileError"; }
  const TPath& FileName() const { return fileName_; }
  const TDisplayText& Reason() const { return reason_; }

 private:
  TPath fileName_;
  TDisplayText reason_;
};
SETUPTQ_EXCEPTION(EFOpenError, EFileError);
SETUPTQ_EXCEPTION(EFCreateError, EFileError);
SETUPTQ_EXCEPTION(EReadError, EStreamError);
SETUPTQ_EXCEPTION(EWriteError, EStreamError);
SETUPTQ_EXCEPTION(EOSError, Exception);
/// A caller passed an argument the routine cannot work with.
SETUPTQ_EXCEPTION(EArgumentException, Exception);

std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string LowerCase(const std::string& s);  // 'A'..'Z' only
std::string UpperCase(const std::string& s);  // 'a'..'z' only
/// Replaces every occurrence of `from`, scanning left to right, without rescanning the
/// replaced text.
std::string StringReplaceAll(const std::string& s, const std::string& from, const std::string& to);
/// Decimal digits of value with zeros in front up to `width` characters, the sign counted
/// (as "%0*d" gives them).
std::string IntToStrZeroPadded(int value, int width);
/// value with `decimals` digits (0 to 9) after a '.', rounded half away from zero, as "%.*f"
/// gives the values the program formats.
std::string FloatToStrFixed(double value, int decimals);
/// The text an uncaught handler error shows: the message, with "." appended when its last
/// character sorts after ".". A double-byte last character (of code page 936, the program's
/// own texts: "。", "）") never gets one.
std::string ErrorBoxText(const std::string& message);
/// The same rule for a message joined from parts: a path or a system text at its end gets
/// the "." only after an ASCII character that sorts after it.
TDisplayText ErrorBoxMessage(const TDisplayText& message);

// ---- double-byte characters -------------------------------------------------------------
// In a double-byte code page (932, 936, 949, 950) a lead byte followed by a trail byte
// 0x40-0xFE (not 0x7F) is one character. Its trail byte may have the value of a backslash, "|"
// or "@", and a scan that walks bytes must step over it so that it is never taken for that
// ASCII character. The lead bytes are the code page's own (platform::IsLeadByte).

/// The code page whose lead bytes CharLength follows: the system's ANSI code page, taken the
/// first time it is asked; tests switch it to read texts as another system would.
unsigned TextCodePage();
void SetTextCodePage(unsigned codePage);
/// Bytes of the character that begins at s[i] in `codePage`: 2 for a lead and trail byte
/// pair, otherwise 1.
std::size_t CharLengthIn(unsigned codePage, const std::string& s, std::size_t i);
/// CharLengthIn the system's code page (TextCodePage), for texts from the system and the
/// network.
std::size_t CharLength(const std::string& s, std::size_t i);
/// CharLengthIn the program's own code page (936), for the program's own texts, which the
/// windows show converted from it whatever the system's code page.
std::size_t ProgramCharLength(const std::string& s, std::size_t i);

// ---- paths --------------------------------------------------------------------------------
// Paths (TPath, platform/Text.h) are held so that a byte below 0x80 is always that ASCII
// character (UTF-8 on Windows), so they are cut at their delimiters byte by byte: the second
// byte of a double-byte character is never a delimiter, since a path holds none.

/// Index of the last byte of the path `s` that is one of the bytes of `delimiters`; npos when
/// there is none.
std::size_t LastDelimiter(const std::string& delimiters, const std::string& s);
/// The folder part of a path, up to and including its last backslash, "/" or ":" (empty when
/// it has none).
TPath ExtractFilePath(const TPath& path);
/// The bytes that separate folders in a path: "\\/" on Windows, "/" elsewhere.
const char* PathDelimiters();
/// Creates a folder and every missing folder above it; true when it exists afterwards. The
/// path may end with a delimiter.
bool ForceDirectories(const TPath& path);
/// What ForceDirectories made, and where it stopped.
struct TForcedFolders {
  std::vector<TPath> made;  // the folders it created, outermost first
  TPath failed;             // the folder it could not create (empty when none failed)
  int error = 0;            // the system's reason for that
};
bool ForceDirectories(const TPath& path, TForcedFolders& forced);

/// The folders a command makes for its output: taken away again, those left empty and deepest
/// first, unless the command keeps them: when it fails, and when it is interrupted (they are
/// registered with platform::RegisterTemporary while they may go).
class TNewFolders {
 public:
  TNewFolders() = default;
  ~TNewFolders();
  TNewFolders(const TNewFolders&) = delete;
  TNewFolders& operator=(const TNewFolders&) = delete;
  /// ForceDirectories(path); false with Failed() the folder that could not be made and Error()
  /// the system's reason for it.
  bool Make(const TPath& path);
  const TPath& Failed() const { return forced_.failed; }
  int Error() const { return forced_.error; }
  /// The command succeeded: the folders stay.
  void Keep() { kept_ = true; }

 private:
  TForcedFolders forced_;
  std::vector<int> slots_;
  bool kept_ = false;
};

namespace platform {
class Folder;
}
/// The name of a temporary written beside the file `name` (one component, in the platform's
/// form) before it replaces it: ".NAME.XXXXXXXX.tmp", XXXXXXXX the tag in hex. A NAME so long
/// that the temporary's name could not be made is cut (at a character), so that any name the
/// file may have can be written.
std::string TemporaryNameFor(const std::string& name, unsigned tag);
/// How long a temporary is left alone before it can be taken for a killed run's.
constexpr std::int64_t kStaleTemporarySeconds = 10 * 60;
/// Removes from `folder` the temporaries of TemporaryNameFor's form that a killed run left:
/// last written more than kStaleTemporarySeconds ago and open in no process.
void RemoveStaleTemporaries(const platform::Folder& folder);
