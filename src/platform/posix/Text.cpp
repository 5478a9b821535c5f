// Paths and texts on Linux: a path is the file system's bytes, taken as UTF-8; the program's
// texts are code page 936, converted with the C library's iconv.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace platform {

namespace {
constexpr const char* kProgramCharset = "CP936";
constexpr const char* kUtf8 = "UTF-8";

/// Converts `in` from one character set to the other. A sequence that is no character of the
/// source, or a character the target has not, becomes `replacement` (one for each input byte
/// skipped, or for the character), or ends the conversion with false when `replacement` is
/// null.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out, const char* replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[256];
  bool ok = true;
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    result.append(buffer, static_cast<size_t>(dst - buffer));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (!replacement) {
      ok = false;
      break;
    }
    // EILSEQ or EINVAL: skip one input character (a UTF-8 sequence whole, else one byte).
    size_t skip = 1;
    if (std::string(from) == kUtf8) {
      const auto lead = static_cast<unsigned char>(*src);
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (skip > srcLeft) skip = srcLeft;
    }
    result += replacement;
    src += skip;
    srcLeft -= skip;
  }
  iconv_close(cd);
  if (ok) out.swap(result);
  return ok;
}
}  // namespace

TText PathText(const TPath& path) {
  std::string text;
  return Convert(kProgramCharset, kUtf8, path.Native(), text, "?") ? TText(text) : TText(path.Native());
}

bool PathTextExact(const TPath& path, TText& text) {
  std::string bytes;
  if (!Convert(kProgramCharset, kUtf8, path.Native(), bytes, nullptr)) return false;
  text = TText(bytes);
  return true;
}

TPath PathFromText(const TText& text) {
  std::string native;
  return TPath::FromNative(Convert(kUtf8, kProgramCharset, text.Bytes(), native, "\xEF\xBF\xBD") ? native
                                                                                                 : text.Bytes());
}

std::string FileNameKey(const TPath& name) {
  // Unicode's simple upper case (C.UTF-8's table, as Windows' own follows it), whatever the
  // process's locale. A byte that begins no UTF-8 character is kept as it is.
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  const std::string& in = name.Native();
  std::string key;
  for (std::size_t i = 0; i < in.size();) {
    char32_t c = 0;
    const std::size_t length = Utf8CharAt(in, i, c);
    if (length == 0) {
      key += in[i++];
      continue;
    }
    if (c < 0x80)
      c = c >= 'a' && c <= 'z' ? c - 32 : c;
    else if (unicode)
      c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode));
    AppendUtf8(key, c);
    i += length;
  }
  return key;
}

TText MessageText(const TDisplayText& message) {
  std::string text;
  for (const auto& part : message.Parts())
    text += part.native ? PathText(TPath::FromNative(part.bytes)).Bytes() : part.bytes;
  return TText(text);
}

std::string MessageNative(const TDisplayText& message) {
  std::string native;
  for (const auto& part : message.Parts())
    native += part.native ? part.bytes : PathFromText(TText(part.bytes)).Native();
  return native;
}

}  // namespace platform
