#pragma once
// The two kinds of string inside the program, as two types, so that one cannot be used where
// the other is meant:
//
//   TText   a text of the program: code page 936 bytes on every system (captions, messages,
//           settings, archive entry names). Every narrow literal of the program is one, and so
//           is every plain std::string that is not typed otherwise; a TText is made from either.
//   TPath   a path (or a command-line argument) in the platform's form: UTF-8 on Windows, where
//           only this layer turns it into the system's wide form; the file system's bytes on
//           Linux. Made only by this layer, by an explicit conversion, or from bytes known to
//           be in that form (TPath::FromNative).
//
// A path and a text meet only through the conversions below (implemented per platform), each
// with its rule. A text for a person that joins our texts with a path or the system's words is
// a TDisplayText: each part keeps its own form until the message is shown, so that a folder name
// or a system reason in any language is shown in full on any Windows.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// A text of the program (code page 936 bytes).
class TText {
 public:
  TText() = default;
  TText(std::string bytes) : bytes_(std::move(bytes)) {}  // NOLINT: every narrow text is one
  TText(const char* bytes) : bytes_(bytes) {}             // NOLINT
  const std::string& Bytes() const { return bytes_; }
  bool Empty() const { return bytes_.empty(); }
  friend bool operator==(const TText& a, const TText& b) { return a.bytes_ == b.bytes_; }
  friend bool operator!=(const TText& a, const TText& b) { return a.bytes_ != b.bytes_; }

 private:
  std::string bytes_;
};

/// A path in the platform's form (UTF-8 on Windows, the file system's bytes on Linux). A byte
/// below 0x80 is always that ASCII character, so a path is cut at its delimiters byte by byte.
class TPath {
 public:
  TPath() = default;
  /// Bytes already in the platform's form: what the system, the command line or a path built
  /// from them gave. A text of the program goes through platform::PathFromText instead.
  static TPath FromNative(std::string bytes) {
    TPath p;
    p.native_ = std::move(bytes);
    return p;
  }
  static TPath FromNative(const char* bytes) { return FromNative(std::string(bytes)); }
  static TPath FromNative(const TText&) = delete;  // a text is converted, never relabelled
  const std::string& Native() const { return native_; }
  bool Empty() const { return native_.empty(); }
  /// The path followed directly by `tail` (a name, or a delimiter and a name).
  TPath operator+(const TPath& tail) const { return FromNative(native_ + tail.native_); }
  TPath operator+(char c) const { return FromNative(native_ + c); }
  friend bool operator==(const TPath& a, const TPath& b) { return a.native_ == b.native_; }
  friend bool operator!=(const TPath& a, const TPath& b) { return a.native_ != b.native_; }
  friend bool operator<(const TPath& a, const TPath& b) { return a.native_ < b.native_; }

 private:
  std::string native_;
};

/// A text for a person, joined from texts of the program and from what the system gives
/// (paths, the system's own words), each part kept in its own form until it is shown: the
/// message box composes it in UTF-16 (platform::MessageToWide), so no part loses a character.
class TDisplayText {
 public:
  struct TPart {
    bool native;        // a path or a system text in the platform's form; else a TText's bytes
    std::string bytes;  // in that form
  };
  TDisplayText() = default;
  TDisplayText(const TText& text) { Add(text); }               // NOLINT: our own text alone
  TDisplayText(const std::string& text) { Add(TText(text)); }  // NOLINT
  TDisplayText(const char* text) { Add(TText(text)); }         // NOLINT
  /// The system's own words (an error reason), in the platform's form.
  static TDisplayText FromSystem(std::string native) {
    TDisplayText m;
    if (!native.empty()) m.parts_.push_back({true, std::move(native)});
    return m;
  }
  TDisplayText& Add(const TText& text) {
    if (!text.Empty()) parts_.push_back({false, text.Bytes()});
    return *this;
  }
  TDisplayText& Add(const TPath& path) {
    if (!path.Empty()) parts_.push_back({true, path.Native()});
    return *this;
  }
  TDisplayText& Add(const TDisplayText& more) {
    parts_.insert(parts_.end(), more.parts_.begin(), more.parts_.end());
    return *this;
  }
  const std::vector<TPart>& Parts() const { return parts_; }
  bool Empty() const { return parts_.empty(); }

 private:
  std::vector<TPart> parts_;
};

inline TDisplayText operator+(TDisplayText m, const TText& text) { return std::move(m.Add(text)); }
inline TDisplayText operator+(TDisplayText m, const std::string& text) { return std::move(m.Add(TText(text))); }
inline TDisplayText operator+(TDisplayText m, const char* text) { return std::move(m.Add(TText(text))); }
inline TDisplayText operator+(TDisplayText m, const TPath& path) { return std::move(m.Add(path)); }
inline TDisplayText operator+(TDisplayText m, const TDisplayText& more) { return std::move(m.Add(more)); }

/// The length of the UTF-8 sequence at s[i] with its character in `c`, or 0 when none begins
/// there (overlong forms, surrogates and values past U+10FFFF included).
inline std::size_t Utf8CharAt(std::string_view s, std::size_t i, char32_t& c) {
  const auto lead = static_cast<unsigned char>(s[i]);
  const std::size_t n = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
  if (n == 0 || i + n > s.size()) return 0;
  c = n == 1 ? lead : lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const auto trail = static_cast<unsigned char>(s[i + k]);
    if ((trail & 0xC0) != 0x80) return 0;
    c = c << 6 | (trail & 0x3F);
  }
  static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  return c < kLeast[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0 : n;
}
/// The characters some viewers take as a line break or as an order of display, which would let
/// a text from outside start what looks like a line of its own or reorder what a reader sees:
/// the C1 controls (NEL, CSI among them), the line and paragraph separators, and every
/// bidirectional mark, embedding, override and isolate.
inline bool MovesTheLine(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}
/// `c` appended to `out` in UTF-8.
inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace platform {

/// The path as a text of the program, for a message that must be a TText: a character code
/// page 936 has not becomes "?". (A message box takes the path itself through a TDisplayText.)
TText PathText(const TPath& path);
/// The path as a text of the program when code page 936 holds every character of it; false
/// (and `text` untouched) when it does not. For names that are stored as texts (archive entries).
bool PathTextExact(const TPath& path, TText& text);
/// A file name given as a text of the program (a setting, an archive entry) as a path. A byte
/// sequence that is no character of code page 936 becomes U+FFFD on Linux and the system's
/// default character on Windows; every character of 936 is kept.
TPath PathFromText(const TText& text);
/// The key under which Windows' file systems find a file name (a path in the platform's form,
/// or one component of one): every character upper-cased by the system's own table, the same
/// for every locale, as NTFS compares names. Two names of one key are one file on Windows
/// ("Д.txt" and "д.txt"), different keys are different files. In the platform's form.
std::string FileNameKey(const TPath& name);
/// The message as a text of the program (for a log or a record): the texts as they are, the
/// native parts through PathText's rule.
TText MessageText(const TDisplayText& message);
/// The message in the platform's form (UTF-8 on Windows; the system's bytes, taken as UTF-8,
/// on Linux): nothing is lost. What a console or a file of the vendor's tool is given.
std::string MessageNative(const TDisplayText& message);

}  // namespace platform
