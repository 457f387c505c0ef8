// Whether a display server answers: a named but dead display must count as none, or the
// program would hand a scheduled backup to a window system that aborts it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "runtime/Env.h"
#include "tests/support/TempDir.h"

namespace dravello {
namespace {

const char* const kVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};

// Sets the display variables for one case and restores the test's own at the end.
class ScopedDisplayVariables {
 public:
  explicit ScopedDisplayVariables(const std::map<std::string, std::string>& values) {
    for (const char* name : kVariables) {
      if (const char* old = std::getenv(name)) saved_[name] = old;
      ::unsetenv(name);
    }
    for (const auto& [name, value] : values) ::setenv(name.c_str(), value.c_str(), 1);
  }
  ~ScopedDisplayVariables() {
    for (const char* name : kVariables) {
      ::unsetenv(name);
      if (auto it = saved_.find(name); it != saved_.end()) ::setenv(name, it->second.c_str(), 1);
    }
  }

 private:
  std::map<std::string, std::string> saved_;
};

// A listening socket that never accepts: the backlog takes the probe's connection.
class Listener {
 public:
  ~Listener() { Close(); }
  // On a local socket file, or (abstract) on the Linux abstract name `path`.
  bool Local(const std::string& path, bool abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t lead = abstract ? 1 : 0;
    std::memcpy(addr.sun_path + lead, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + lead + path.size() + (abstract ? 0 : 1));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    return Listen(reinterpret_cast<const sockaddr*>(&addr), length);
  }
  bool Tcp(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    return Listen(reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  bool Listen(const sockaddr* addr, socklen_t length) {
    if (fd_ >= 0 && ::bind(fd_, addr, length) == 0 && ::listen(fd_, 8) == 0) return true;
    Close();
    return false;
  }
  int fd_ = -1;
};

// An X display number in a range no real server uses, free both as an abstract socket and as
// a socket file, with a listener on its abstract name.
std::optional<int> ListenAsXServer(Listener& listener) {
  for (int n = 917; n < 990; ++n) {
    if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
    if (listener.Local("/tmp/.X11-unix/X" + std::to_string(n), true)) return n;
  }
  return std::nullopt;
}

// An X display number whose TCP port (6000 + n) on the loopback has a listener.
std::optional<int> ListenAsTcpXServer(Listener& listener) {
  for (int n = 917; n < 990; ++n)
    if (listener.Tcp(6000 + n)) return n;
  return std::nullopt;
}

// An X display number that nothing serves, locally or over TCP, other than `taken`.
std::optional<int> UnservedDisplay(int takenLocal, int takenTcp) {
  for (int n = 917; n < 990; ++n) {
    if (n == takenLocal || n == takenTcp || std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
    Listener local, tcp;
    if (local.Local("/tmp/.X11-unix/X" + std::to_string(n), true) && tcp.Tcp(6000 + n)) return n;
  }
  return std::nullopt;
}

TEST(DisplayTest, OnlyADisplayThatAcceptsAConnectionCounts) {
  testing::TempDir dir;
  const std::string wayland = dir.Path() + "wayland-7";
  Listener compositor, staleCompositor, x, tcpX;
  ASSERT_TRUE(compositor.Local(wayland, false));
  ASSERT_TRUE(staleCompositor.Local(dir.Path() + "wayland-gone", false));
  staleCompositor.Close();  // its socket file stays, as after a crash
  const std::optional<int> local = ListenAsXServer(x);
  const std::optional<int> tcp = ListenAsTcpXServer(tcpX);
  ASSERT_TRUE(local && tcp) << "no free display number to listen on";
  const std::optional<int> none = UnservedDisplay(*local, *tcp);
  ASSERT_TRUE(none) << "no display number that nothing serves";
  const std::string xl = std::to_string(*local);
  const std::string xt = std::to_string(*tcp);
  const std::string unused = std::to_string(*none);

  struct Case {
    const char* what;
    std::map<std::string, std::string> variables;
    bool answers;
  } cases[] = {
      {"nothing named", {}, false},
      {"Wayland by socket path", {{"WAYLAND_DISPLAY", wayland}}, true},
      {"Wayland by name in the runtime folder", {{"WAYLAND_DISPLAY", "wayland-7"}, {"XDG_RUNTIME_DIR", dir.Path()}}, true},
      {"Wayland by name without a runtime folder", {{"WAYLAND_DISPLAY", "wayland-7"}}, false},
      {"a compositor that is gone", {{"WAYLAND_DISPLAY", dir.Path() + "wayland-gone"}}, false},
      {"a compositor that is gone, an X server that runs",
       {{"WAYLAND_DISPLAY", dir.Path() + "wayland-gone"}, {"DISPLAY", ":" + xl}}, true},
      {"local X", {{"DISPLAY", ":" + xl}}, true},
      {"local X with a screen", {{"DISPLAY", ":" + xl + ".0"}}, true},
      {"local X spelled unix:", {{"DISPLAY", "unix:" + xl}}, true},
      {"local X that does not run", {{"DISPLAY", ":" + unused}}, false},
      {"X over TCP", {{"DISPLAY", "127.0.0.1:" + xt + ".0"}}, true},
      {"X over TCP with the protocol", {{"DISPLAY", "tcp/127.0.0.1:" + xt}}, true},
      {"X over TCP that does not run", {{"DISPLAY", "127.0.0.1:" + unused}}, false},
      {"no display number", {{"DISPLAY", "localhost"}}, false},
      {"an empty number", {{"DISPLAY", ":"}}, false},
      {"a number that is none", {{"DISPLAY", ":x1"}}, false},
      {"empty", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, false},
  };
  for (const Case& c : cases) {
    ScopedDisplayVariables scoped(c.variables);
    EXPECT_EQ(Env::Default().DisplayAnswers(), c.answers) << c.what;
  }
}

}  // namespace
}  // namespace dravello
