// Writes the message catalogue as one language script, a seed for the language-script fuzzer:
// the real scripts are the best start for finding what nearby texts do.
#include <cstdio>
#include <string>

#include "lang/u_language.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  std::string text;
  for (std::string_view line : dravello::MessageCatalogue()) {
    text += line;
    text += "\r\n";
  }
  dravello::Env& env = dravello::Env::Default();
  env.ForceDirectories(dravello::ExtractFilePath(argv[1]));
  dravello::WriteFileAtomically(env, argv[1], text);
  return 0;
}
