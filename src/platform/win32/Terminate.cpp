// What the C++ runtime calls when an exception is not caught (or std::terminate is called).
// The runtime's own handler names the exception's type, for which it links its demangler
// (about 45 KB); this one writes the exception's message to the standard error, if there is
// one, and ends the process the same way. The win32 link pulls it in ahead of the runtime's
// (see CMakeLists.txt).
#include <cxxabi.h>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool entered = false;  // a message that raises again ends at once
  if (!entered) {
    entered = true;
    if (abi::__cxa_current_exception_type()) {
      try {
        throw;
      } catch (const std::exception& e) {
        std::fputs("terminate called after an exception: ", stderr);
        std::fputs(e.what(), stderr);
        std::fputs("\n", stderr);
      } catch (...) {
        std::fputs("terminate called after an exception\n", stderr);
      }
    } else {
      std::fputs("terminate called without an active exception\n", stderr);
    }
  }
  std::abort();
}

}  // namespace __gnu_cxx
