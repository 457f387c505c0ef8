#include "runtime/Console.h"

#ifdef _WIN32
#include <cstdio>

#include "runtime/WinApi.h"
#endif

namespace dravello {

#ifdef _WIN32

namespace {

// A standard handle that leads somewhere: a console, a file, a pipe.
bool Usable(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void AttachParentConsole() {
  const bool outUsable = Usable(STD_OUTPUT_HANDLE);
  const bool errUsable = Usable(STD_ERROR_HANDLE);
  if (outUsable && errUsable) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // no parent console: nothing to write to
  // The C streams (and the C++ streams synchronised with them) now write to the console.
  if (!outUsable && std::freopen("CONOUT$", "w", stdout)) std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (!errUsable && std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
}

#else

void AttachParentConsole() {}

#endif

}  // namespace dravello
