// The demo installer that the default build packs into the launcher: it shows a "Parvalo"
// installer window and writes the command line it received (without its own program name)
// to instTQ.cmdline.txt beside itself, so that tests can check what the launcher handed on.
#include <windows.h>

#include <string>

namespace {
// The command line after the program name, as the runtime splits it off.
std::string ArgumentText() {
  const char* p = GetCommandLineA();
  bool quoted = false;
  while (*p && (quoted || static_cast<unsigned char>(*p) > ' ')) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
  return p;
}

void WriteBesideMe(const std::string& text) {
  char path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string file(path, n);
  file = file.substr(0, file.find_last_of('\\') + 1) + "instTQ.cmdline.txt";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  CloseHandle(h);
}

std::string g_text;

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
      DrawTextA(dc, g_text.c_str(), static_cast<int>(g_text.size()), &r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
      EndPaint(w, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(w, msg, wp, lp);
  }
}
}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int show) {
  const std::string args = ArgumentText();
  WriteBesideMe(args);
  g_text = "Parvalo 安装程序 (演示)\r\n\r\n安装目录参数: " + args;
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "ParvaloDemoInstaller";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "Parvalo 安装程序", WS_OVERLAPPEDWINDOW, 240, 200, 480, 200, nullptr,
                           nullptr, inst, nullptr);
  if (!w) return 1;
  ShowWindow(w, show);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
