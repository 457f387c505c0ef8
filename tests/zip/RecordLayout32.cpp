// Compiled for a 32-bit target by the record_layout_32bit test: the engine interface header
// asserts every documented offset when pointers are 4 bytes wide, so compiling this file is the
// check. Running it also prints the sizes, for the test log.
#include <cstdio>

#include "zip/ZipEngineApi.h"

static_assert(sizeof(void*) == 4, "build this file with -m32");

int main() {
  std::printf("ZipCommand %zu, ZipFileSpec %zu, ZipCallbackData %zu bytes\n", sizeof(ZipCommand),
              sizeof(ZipFileSpec), sizeof(ZipCallbackData));
  return sizeof(ZipCommand) == 216 && sizeof(ZipFileSpec) == 104 ? 0 : 1;
}
