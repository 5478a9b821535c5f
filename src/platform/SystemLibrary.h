#pragma once
// Windows build only (implemented in platform/win32): a system DLL loaded by its full path in
// the system folder, so that nothing planted beside the program or in the current folder loads
// in its place. What is loaded stays loaded for the process.
namespace platform {

/// The module `name` ("secur32.dll") from the system folder, as an HMODULE; null when it cannot
/// be loaded (GetLastError says why).
void* LoadSystemLibrary(const wchar_t* name);

}  // namespace platform
