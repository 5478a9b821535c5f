#include "Command.h"

#include <cstdarg>
#include <cstdio>

#include "platform/Platform.h"

std::vector<CommandInfo>& Commands() {
  static std::vector<CommandInfo> commands;
  return commands;
}

std::string CurrentCommand;

std::string TerminalText(const std::string& text) {
  std::string out;
  auto escape = [&out](const std::string& bytes) {
    for (unsigned char c : bytes) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  };
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = Utf8CharAt(text, i, c);
    if (length == 0) {  // no UTF-8: a byte of another code page, or a broken sequence
      escape(text.substr(i, 1));
      ++i;
      continue;
    }
    // C0 but the line feed, DEL, and what moves a line or reorders it (C1, the separators,
    // the bidirectional controls).
    const bool control = (c < 0x20 && c != '\n') || c == 0x7F || MovesTheLine(c);
    if (control)
      escape(text.substr(i, length));
    else
      out.append(text, i, length);
    i += length;
  }
  return out;
}

void Print(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  platform::WriteStd(stream == stderr ? 2 : 1, TerminalText(text));
}

std::string EscapedBytes(const std::string& bytes, bool keepHighBytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c != 0x7F && c != '\\' && (c < 0x80 || keepHighBytes)) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::string ShownName(const std::string& entryName) {
  return EscapedBytes(platform::PathFromText(entryName).Native(), true);
}

std::string ErrorText(const Exception& e) { return platform::MessageNative(e.Display()); }

int Fail(const std::string& message) {
  std::fflush(stdout);  // the verdicts before it, also when both go to one log
  Print(stderr, "setupkit%s%s: %s\n", CurrentCommand.empty() ? "" : " ", CurrentCommand.c_str(), message.c_str());
  return kExitNo;
}

int Fail(const Exception& e) { return Fail(ErrorText(e)); }

TCommandLine::TCommandLine(const std::vector<std::string>& args, const std::vector<TOption>& options) {
  bool ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ended || a.size() < 2 || a[0] != '-') {
      operands_.push_back(a);
      continue;
    }
    if (a == "--") {
      ended = true;
      continue;
    }
    const TOption* found = nullptr;
    for (const auto& o : options)
      for (const auto& n : o.names)
        if (n == a) found = &o;
    if (!found) throw EUsageError("unknown option " + a);
    std::string value;
    if (found->takesValue) {
      if (i + 1 == args.size()) throw EUsageError("option " + a + " needs a value");
      value = args[++i];
    }
    given_.push_back({found->names[0], value});
  }
}

std::vector<std::string> TCommandLine::Values(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& g : given_)
    if (g.first == name) out.push_back(g.second);
  return out;
}

std::string TCommandLine::Value(const std::string& name) const {
  const std::vector<std::string> v = Values(name);
  if (v.size() > 1) throw EUsageError("option " + name + " given more than once");
  return v.empty() ? std::string() : v[0];
}

void TCommandLine::ExpectOperands(std::size_t min, std::size_t max, const std::string& what) const {
  if (operands_.size() < min) throw EUsageError("missing " + what);
  if (operands_.size() > max) throw EUsageError("too many arguments (\"" + operands_[max] + "\"): expected " + what);
}

TProgressLine::TProgressLine() : shown_(platform::StderrIsTerminal()) {}

void TProgressLine::Show(const std::string& text) {
  if (!shown_) return;
  Clear();
  Print(stderr, "%s", text.c_str());
  std::fflush(stderr);
  width_ = text.size();
}

void TProgressLine::Clear() {
  if (!shown_ || width_ == 0) return;
  platform::WriteStd(2, "\r" + std::string(width_, ' ') + "\r");
  width_ = 0;
}

std::string SizeText(std::int64_t bytes) {
  char text[32];
  if (bytes >= 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
  else if (bytes >= 10 * 1024)
    std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>(bytes / 1024));
  else
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  return text;
}
