#pragma once
// Shared by the payload tests: a private temporary folder, file helpers, and builders for
// archive bytes (well formed or deliberately not).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "TestFiles.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveWriter.h"
#include "platform/Platform.h"

namespace payloadtest {

namespace fs = std::filesystem;

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

/// Every file below dir (relative path with '/' -> size), so a test can state exactly what is
/// on disk.
inline std::map<std::string, std::uintmax_t> Listing(const TPath& path) {
  const std::string& dir = path.Native();
  std::map<std::string, std::uintmax_t> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string rel = fs::relative(e.path(), dir).generic_string();
    out[rel] = e.is_regular_file() ? e.file_size() : static_cast<std::uintmax_t>(-1);
  }
  return out;
}

inline std::string Int32(std::int32_t v) {
  std::string s;
  PutInt32(s, v);
  return s;
}

/// One entry as raw bytes: any name, any declared size, any stream.
inline std::string RawEntry(const std::string& name, std::int32_t size, const std::string& stream) {
  return Int32(static_cast<std::int32_t>(name.size())) + name + Int32(size) + stream;
}

/// A well-formed entry holding bytes.
inline std::string Entry(const std::string& name, const std::string& bytes) {
  return RawEntry(name, static_cast<std::int32_t>(bytes.size()), CompressZlib(bytes));
}

/// Deterministic bytes that zlib cannot shrink.
inline std::string NoiseBytes(std::size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

/// Text-like bytes that compress well but not trivially.
inline std::string TextBytes(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"setup ", "Parvalo ", "install ", "file ",   "zlib ",    "stream ",
                                       "entry ", "archive ", "\r\n",     "0x78DA ", "inflate ", "window "};
  std::string s;
  s.reserve(n + 16);
  std::uint32_t x = seed * 2654435761u + 7;
  while (s.size() < n) {
    x = x * 1103515245u + 12345u;
    s += kWords[(x >> 16) % 12];
  }
  s.resize(n);
  return s;
}

/// Bytes whose zlib stream ends 1 to 4 bytes after the first 65,536-byte input block, so that
/// all the data is inflated from the first block while the check value is still unread.
inline std::string DataEndingInsideTheCheckValue() {
  for (std::size_t n = 65300; n < 65540; ++n) {
    std::string data = NoiseBytes(n, 99);
    std::size_t length = CompressZlib(data).size();
    if (length > 65536 && length <= 65540) return data;
  }
  return std::string();
}

}  // namespace payloadtest
