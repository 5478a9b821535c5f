// The launcher's entry: the whole run as a straight sequence of steps.
#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#else
int main() {
#endif
  platform::HardenDllSearch();
  return 0;
}
