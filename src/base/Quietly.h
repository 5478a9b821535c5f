#pragma once
// The one way to drop an error on purpose. Use it only where a failure has nobody to tell or
// must not replace one already on its way, and say why beside the call:
//
//   Quietly([&] { KeepOnTop(); });  // a notice is a courtesy: one not kept on top still shows
//
// A bare `catch (...) {}` elsewhere is a fault.
#include <utility>

/// Runs `step`; any exception it raises is dropped.
template <typename F>
void Quietly(F&& step) noexcept {
  try {
    std::forward<F>(step)();
  } catch (...) {
  }
}
