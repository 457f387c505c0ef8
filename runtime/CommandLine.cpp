#include "runtime/CommandLine.h"

#ifdef _WIN32
#include "runtime/WinApi.h"

#include "runtime/WinPath.h"
#endif

namespace dravello {

namespace {
std::string g_program;
std::vector<std::string> g_params;
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  g_program = argc > 0 ? argv[0] : "";
  g_params.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void InitCommandLine(int argc, const char* const* argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
      std::string text;
      WideToUtf8(wide[i], &text);
      texts.push_back(std::move(text));
    }
    ::LocalFree(wide);
    std::vector<const char*> args;
    for (const std::string& t : texts) args.push_back(t.c_str());
    SetCommandLine(static_cast<int>(args.size()), args.data());
    return;
  }
#endif
  SetCommandLine(argc, argv);
}

void SetParams(std::vector<std::string> params) { g_params = std::move(params); }

int ParamCount() { return static_cast<int>(g_params.size()); }

std::string ParamStr(int index) {
  if (index == 0) return g_program;
  if (index < 1 || index > ParamCount()) return std::string();
  return g_params[static_cast<size_t>(index - 1)];
}

}  // namespace dravello
