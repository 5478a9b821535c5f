#pragma once
// The one scope guard of the project: runs an action when a scope ends, on every way out.
//
//   const int saved = c.ReadTimeout;
//   c.ReadTimeout = 2000;
//   auto restore = OnScopeExit([&] { c.ReadTimeout = saved; });
#include <exception>
#include <utility>

#include "base/Quietly.h"

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  /// An action that fails while an exception is already on its way is dropped: the first
  /// failure is the one the caller sees.
  ~ScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() > count_) {
      Quietly(f_);
    } else {
      f_();
    }
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
  int count_ = std::uncaught_exceptions();
};

template <typename F>
ScopeExit<F> OnScopeExit(F f) {
  return ScopeExit<F>(std::move(f));
}
