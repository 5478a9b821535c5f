// The demo installer that the default build packs into the launcher: it shows a "Parvalo"
// installer window and writes the command line it received (without its own program name),
// as UTF-8, to instTQ.cmdline.txt beside itself, and the arguments as the C runtime splits
// them, one a line, to instTQ.argv.txt, so that tests can check what the launcher handed on.
// "/S" installs silently: no window, it ends at once. "/exitcode=N" makes it end with the
// exit code N (3010, a restart needed; 1603, failed), as a real installer may. Wide calls
// throughout, as a real installer's: it works in any folder, on any code page.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {
// The command line after the program name, as the runtime splits it off.
std::wstring ArgumentText() {
  const wchar_t* p = GetCommandLineW();
  bool quoted = false;
  while (*p && (quoted || *p > L' ')) {
    if (*p == L'"') quoted = !quoted;
    ++p;
  }
  while (*p && *p <= L' ') ++p;
  return p;
}

std::wstring FromCodePage(const std::string& text, UINT codePage) {
  std::wstring wide(text.size(), L'\0');
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

void WriteBesideMe(const wchar_t* name, const std::wstring& text) {
  static wchar_t path[32768];
  DWORD n = GetModuleFileNameW(nullptr, path, 32768);
  std::wstring file(path, n);
  file = file.substr(0, file.find_last_of(L'\\') + 1) + name;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::string utf8(text.size() * 3, '\0');
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
                                 static_cast<int>(utf8.size()), nullptr, nullptr);
  DWORD put = 0;
  WriteFile(h, utf8.data(), static_cast<DWORD>(size > 0 ? size : 0), &put, nullptr);
  CloseHandle(h);
}

std::wstring g_text;

LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      RECT r;
      GetClientRect(w, &r);
      InflateRect(&r, -16, -16);
      SetBkMode(dc, TRANSPARENT);
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      DrawTextW(dc, g_text.c_str(), static_cast<int>(g_text.size()), &r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
      EndPaint(w, &ps);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(w, msg, wp, lp);
  }
}
}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int show) {
  const std::wstring args = ArgumentText();
  WriteBesideMe(L"instTQ.cmdline.txt", args);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring lines;
  bool silent = false;
  int exitCode = 0;
  for (int i = 1; argv && i < argc; ++i) {
    const std::wstring a = argv[i];
    lines += a + L"\n";
    if (a == L"/S") silent = true;
    if (a.compare(0, 10, L"/exitcode=") == 0) exitCode = _wtoi(a.c_str() + 10);
  }
  if (argv) LocalFree(argv);
  WriteBesideMe(L"instTQ.argv.txt", lines);
  if (silent) return exitCode;
  // The texts are code page 936 bytes, like the launcher's.
  g_text = FromCodePage("Parvalo 安装程序 (演示)\r\n\r\n安装目录参数: ", 936) + args;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ParvaloDemoInstaller";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, FromCodePage("Parvalo 安装程序", 936).c_str(), WS_OVERLAPPEDWINDOW, 240,
                           200, 480, 200, nullptr, nullptr, inst, nullptr);
  if (!w) return 1;
  ShowWindow(w, show);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return exitCode;
}
