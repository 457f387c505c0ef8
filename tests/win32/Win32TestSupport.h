// Shared set-up of the Win32 front-end tests: an application object with the real Win32 front
// end, a temporary folder for the INI and the log, and ways to look at the native windows and to
// act while the code under test waits in a modal loop (the editor's, a message box's, a dialog's).
//
// The tests run in-process under Wine on a virtual X display (tests/win32/run_with_display.sh),
// or on Windows itself: they see only what any program sees of another's windows (class names,
// texts, styles, rectangles, messages).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/u_frmMain.h"
#include "app/u_types.h"
#include "lang/u_language.h"
#include "runtime/CommandLine.h"
#include "runtime/Env.h"
#include "ui/win32/Win32FrontEndImpl.h"

#include <commctrl.h>

namespace dravello::win32test {

// ---- Looking at windows ---------------------------------------------------------------------------

std::string ClassOf(HWND hwnd);
std::string TextOf(HWND hwnd);
SIZE ClientSize(HWND hwnd);
// The screen position of the window's client area.
POINT ClientOrigin(HWND hwnd);
LONG_PTR Style(HWND hwnd);
LONG_PTR ExStyle(HWND hwnd);
// The visible top-level windows of this thread of the dialog class (#32770): message boxes and the
// text-input dialog.
std::vector<HWND> Dialogs();
// The dialog with that caption, or nullptr.
HWND DialogTitled(const std::string& caption);
// The texts of a window's direct children of one class ("Static", "Button").
std::vector<std::string> ChildTexts(HWND parent, const std::string& windowClass);

// ---- Acting while a modal loop runs -------------------------------------------------------------

// Steps that run from the message loop, whichever loop that is: each step is tried at every tick
// of a thread timer until it returns true, then the next one. A step that is still not done after
// kStepTimeout fails the test, and the dialogs and modal forms standing are closed, so that no test
// waits for ever.
class ModalDriver {
 public:
  using Step = std::function<bool()>;
  static constexpr std::chrono::milliseconds kTick{25};
  static constexpr std::chrono::milliseconds kStepTimeout{8000};

  ModalDriver();
  ~ModalDriver();
  void Then(Step step);
  bool Done() const { return steps_.empty(); }
  // Runs the program's message loop until every step is done (or timed out).
  void RunUntilDone();

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();
  std::vector<Step> steps_;
  std::chrono::steady_clock::time_point started_;
  UINT_PTR timer_ = 0;
};

// Handles what is pending for about `ms` milliseconds (repaints, posted messages).
void Pump(int ms = 50);

// ---- The fixture ------------------------------------------------------------------------------

// The Win32 front end, but an address to open is only noted (a test starts no browser).
class TNotingFrontEnd : public TWin32FrontEnd {
 public:
  std::vector<std::string> Opened;
  bool OpenAddress(const std::string& address) override {
    Opened.push_back(address);
    return true;
  }
};

class Win32Fixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new application object with a fresh Win32 front end (the old one, if any, goes first).
  void NewApplication();
  // The main window as the program makes and first shows it.
  TfrmMain& StartMain();
  // Closes the main window as its close box does, and lets the program end as it would.
  void CloseMain();

  HWND Hwnd(const TControl* control) const { return ui_->HwndOf(control); }
  std::string Path(const std::string& rel) const;
  void WriteFile(const std::string& rel, const std::string& text) const;
  std::string ReadFile(const std::string& rel) const;

  std::filesystem::path root_;
  std::unique_ptr<TApplication> app_;
  TNotingFrontEnd* ui_ = nullptr;
  TfrmMain* main_ = nullptr;
};

}  // namespace dravello::win32test
