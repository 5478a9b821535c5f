// A PE file's resources and checksum as Windows itself reads them:
//   rescheck FILE TYPE NAME OUT   writes the bytes FindResourceA/LoadResource give for the
//                                 resource (TYPE and NAME as FindResourceA takes them, "#16"
//                                 for a number) to OUT; exit 3 when there is none
//   rescheck FILE --checksum      prints "stored X computed Y" (imagehlp's MapFileAndCheckSumA)
#include <windows.h>
#include <imagehlp.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc == 3) {
    DWORD stored = 0, computed = 0;
    if (MapFileAndCheckSumA(argv[1], &stored, &computed) != CHECKSUM_SUCCESS) return 2;
    std::printf("stored %08lX computed %08lX\n", stored, computed);
    return 0;
  }
  if (argc != 5) return 2;
  HMODULE image = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return 2;
  HRSRC res = FindResourceA(image, argv[3], argv[2]);
  if (!res) return 3;
  const DWORD size = SizeofResource(image, res);
  const void* bytes = LockResource(LoadResource(image, res));
  FILE* out = std::fopen(argv[4], "wb");
  if (!out || !bytes || std::fwrite(bytes, 1, size, out) != size) return 2;
  std::fclose(out);
  FreeLibrary(image);
  return 0;
}
