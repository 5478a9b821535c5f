// The C++ runtime's throw helpers: what the inline code of its headers (std::string,
// std::vector, std::stoi, ...) calls on a bad argument or a failed allocation. The runtime's own
// copies build std::logic_error and its kin, whose message is a reference-counted string; that
// links the runtime's whole prebuilt copy-on-write std::string and what it uses (about 50 KB)
// into every program, for errors that only a fault of ours can raise. These throw a
// std::exception carrying the runtime's message, and the allocation and cast errors as the
// standard types. Our code catches std::exception or everything, never the
// runtime's logic_error kinds by name. The win32 link pulls them in ahead of the runtime's
// (see CMakeLists.txt).
#include <bits/functexcept.h>

#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

/// A runtime error with its message held in the exception object itself.
class RuntimeLibraryError : public std::exception {
 public:
  explicit RuntimeLibraryError(const char* text) { Append(text); }
  const char* what() const noexcept override { return text_; }

  void Append(const char* s) {
    while (s && *s && used_ + 1 < sizeof text_) text_[used_++] = *s++;
    text_[used_] = '\0';
  }
  void AppendNumber(std::size_t n) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    char text[24];
    for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    Append(text);
  }

 private:
  char text_[160] = {};
  std::size_t used_ = 0;
};

[[noreturn]] void Raise(const char* text) { throw RuntimeLibraryError(text); }

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* s) { Raise(s); }
void __throw_domain_error(const char* s) { Raise(s); }
void __throw_invalid_argument(const char* s) { Raise(s); }
void __throw_length_error(const char* s) { Raise(s); }
void __throw_out_of_range(const char* s) { Raise(s); }
void __throw_runtime_error(const char* s) { Raise(s); }
void __throw_range_error(const char* s) { Raise(s); }
void __throw_overflow_error(const char* s) { Raise(s); }
void __throw_underflow_error(const char* s) { Raise(s); }

// The runtime's messages with their arguments: only %s, %zu and %% occur in them.
void __throw_out_of_range_fmt(const char* format, ...) {
  RuntimeLibraryError error("");
  va_list args;
  va_start(args, format);
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      const char one[2] = {*p, '\0'};
      error.Append(one);
    } else if (p[1] == 's') {
      error.Append(va_arg(args, const char*));
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      error.AppendNumber(va_arg(args, std::size_t));
      p += 2;
    } else if (p[1] == '%') {
      error.Append("%");
      ++p;
    } else {
      error.Append("%");
    }
  }
  va_end(args);
  throw error;
}

}  // namespace std
