#pragma once
// What the window tests need from the platform. The program's bitmaps: the Windows test
// binaries carry them in their resource section (res/bitmaps.rc); the Linux ones register the
// same bytes, each in the form the resource compiler stores it, through
// platform::RegisterModuleResource. And whether shell calls are only recorded.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Platform.h"

namespace testseams {

inline std::string ReadBitmapFile(const std::string& file) {
  // CTest names the source folder; run by hand, the binary is started from there.
  const char* dir = std::getenv("SETUPTQ_SOURCE_DIR");
  std::ifstream in(std::string(dir ? dir : ".") + "/res/bitmaps/" + file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// Registers (again) every picture of res/bitmaps.rc as the program carries it (a .bmp file in
/// a zlib stream, type "ZBMP").
inline void RegisterProgramBitmaps() {
  const char* const pictures[][2] = {
      {"BClose", "BClose"},          {"INFO", "Info"},      {"ERROR", "Error"}, {"WARNING", "Warning"},
      {"BINSTALL", "InstallButton"}, {"BCOPY", "CopyGlyph"}};
  for (const char* scale : {"", "_125", "_150", "_200"})
    for (const auto& p : pictures)
      platform::RegisterModuleResource(std::string(p[0]) + scale, "ZBMP",
                                       ReadBitmapFile(std::string(p[1]) + scale + ".bmp.z"));
}

/// True when the resource exists with some content: on Windows the linked resources can
/// not be taken away, so the tests of a missing one only run where they can be.
inline bool ResourcePresent(const std::string& name, const std::string& type) {
  std::string bytes;
  return platform::FindModuleResource(name, type, bytes) && !bytes.empty();
}

/// True where the platform records shell calls and takes registered resources (the Linux
/// build). On Windows a shell call opens a real browser, so tests that click an armed
/// balloon run only where this holds.
inline bool PlatformTestSeams() {
  platform::RegisterModuleResource("SEAMPROBE", "TEST", "1");
  return ResourcePresent("SEAMPROBE", "TEST");
}

}  // namespace testseams
