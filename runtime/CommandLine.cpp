#include "runtime/CommandLine.h"

namespace dravello {

namespace {
std::string g_program;
std::vector<std::string> g_params;
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  g_program = argc > 0 ? argv[0] : "";
  g_params.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void SetParams(std::vector<std::string> params) { g_params = std::move(params); }

int ParamCount() { return static_cast<int>(g_params.size()); }

std::string ParamStr(int index) {
  if (index == 0) return g_program;
  if (index < 1 || index > ParamCount()) return std::string();
  return g_params[static_cast<size_t>(index - 1)];
}

}  // namespace dravello
