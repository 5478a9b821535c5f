// Asks a window, as another program does, whether it still answers: finds the top-level window
// with the given caption, then sends it WM_NULL with SendMessageTimeout every 250 ms for the
// given seconds, timing each answer. Windows calls a window that leaves a sent message
// unanswered for 5 s "Not Responding"; Wine never says so, so this program measures it.
//   hungcheck CAPTION SECONDS
// Prints "found" once the window is there, a line for each answer slower than 1 s, and at the
// end "answers N slowest MS late K". Exit 0 when every answer came within 1 s, 1 when one did
// not (or none came), 2 when no such window appeared within a minute.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr DWORD kIntervalMs = 250;
constexpr DWORD kLateMs = 1000;
constexpr UINT kGiveUpMs = 10000;  // a window this slow is hung whatever the bound

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& freq) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) {
    std::fprintf(stderr, "usage: hungcheck CAPTION SECONDS\n");
    return 2;
  }
  const wchar_t* caption = argv[1];
  const double seconds = std::wcstod(argv[2], nullptr);

  HWND window = nullptr;
  for (int i = 0; i < 600 && !window; ++i) {
    window = FindWindowW(nullptr, caption);
    if (!window) Sleep(100);
  }
  if (!window) {
    std::printf("no window\n");
    return 2;
  }
  std::printf("found\n");
  std::fflush(stdout);

  LARGE_INTEGER freq, start, before, after;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&start);
  int answers = 0, late = 0;
  double slowest = 0;
  for (;;) {
    QueryPerformanceCounter(&before);
    if (Ms(start, before, freq) >= seconds * 1000) break;
    DWORD_PTR result = 0;
    const LRESULT sent = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &result);
    QueryPerformanceCounter(&after);
    const double ms = Ms(before, after, freq);
    if (!sent && !IsWindow(window)) {
      std::printf("the window is gone after %.1f s\n", Ms(start, after, freq) / 1000);
      break;
    }
    if (sent) ++answers;
    if (ms > slowest) slowest = ms;
    if (!sent || ms > kLateMs) {
      ++late;
      std::printf("late: %s after %.0f ms, %.1f s in\n", sent ? "answered" : "no answer", ms,
                  Ms(start, before, freq) / 1000);
      std::fflush(stdout);
    }
    if (ms < kIntervalMs) Sleep(static_cast<DWORD>(kIntervalMs - ms));
  }
  std::printf("answers %d slowest %.0f late %d\n", answers, slowest, late);
  LocalFree(argv);
  return late == 0 && answers > 0 ? 0 : 1;
}
