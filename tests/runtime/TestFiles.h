// Test-only helpers for the file-system tests: a temporary folder, byte-exact file access that
// does not go through the Env under test, and running a piece of a test as an ordinary user.
#pragma once

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

namespace dravello::testing {

namespace fs = std::filesystem;

#ifndef _WIN32
inline unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0xFFFFFFFF;
  return st.st_mode & 07777;
}

// Whether the folder's file system keeps "user." extended attributes.
inline bool UserXattrsSupported(const std::string& dir) {
  std::string probe = dir + ".xattr-probe";
  WriteBytes(probe, "");
  bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  ::unlink(probe.c_str());
  return ok;
}

// Runs `body` as an ordinary user: directly when the tests do not run as root, otherwise in a
// child process that gives up root (permission checks do not apply to root). `body` returns an
// empty text on success or a description of what went wrong. `dir` is handed to that user first.
inline std::string RunAsOrdinaryUser(const std::string& dir, const std::function<std::string()>& body) {
  if (::geteuid() != 0) return body();
  const uid_t nobody = 65534;
  std::error_code ec;
  ::chown(dir.c_str(), nobody, nobody);
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) ::lchown(e.path().c_str(), nobody, nobody);
  int pipefd[2];
  if (::pipe(pipefd) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(pipefd[0]);
    std::string result;
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
      result = "cannot drop root";
    } else {
      try {
        result = body();
      } catch (const std::exception& e) {
        result = std::string("exception: ") + e.what();
      } catch (...) {
        result = "unknown exception";
      }
    }
    ssize_t ignored = ::write(pipefd[1], result.data(), result.size());
    (void)ignored;
    ::_exit(0);
  }
  ::close(pipefd[1]);
  std::string result;
  char buf[512];
  for (ssize_t n; (n = ::read(pipefd[0], buf, sizeof buf)) > 0;) result.append(buf, static_cast<size_t>(n));
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child process failed";
  return result;
}
#endif  // the helpers above are POSIX's

}  // namespace dravello::testing
