// A test bed for the program's windows: an application object with the headless front end, a
// temporary folder holding the INI and the log, a clock that stands still, and the main window
// made as the program makes it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/u_frmMain.h"
#include "app/u_types.h"
#include "lang/u_language.h"
#include "runtime/Clock.h"
#include "runtime/CommandLine.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "tests/support/Wine.h"
#include "ui/headless/HeadlessFrontEnd.h"

namespace dravello {

// A path the tests spell with "/", in the platform's separators ("/srv/a" is "\\srv\\a" on Windows).
inline std::string NativePath(std::string path) {
  for (char& c : path)
    if (c == '/') c = PathDelim;
  return path;
}

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::filesystem::temp_directory_path() /
            ("dv-app-" + std::to_string(Env::Platform().ProcessId()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "prog");
    IniFileName = Path("prog/dravello.ini");
    LogFileName = Path("prog/dravello.log");
    SetParams({});
    clock_ = std::make_unique<ManualClock>(TDateTimeParts{2004, 3, 15, 14, 7, 33, 0});
    scopedClock_ = std::make_unique<ScopedClock>(*clock_);
    app_ = std::make_unique<TApplication>();
    app_->SetTitle("Velmora's Dravello");
    auto frontEnd = std::make_unique<THeadlessFrontEnd>(out_, err_);
    ui_ = frontEnd.get();
    app_->SetFrontEnd(std::move(frontEnd));
    mlMessages().SetLanguage("");
  }

  void TearDown() override {
    app_.reset();
    scopedClock_.reset();
    mlMessages().SetLanguage("");
    std::error_code ec;
    // Read-only files cannot be removed on Windows until they are writable again.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
  }

  // The main window as the program creates and first shows it.
  TfrmMain& Start(std::vector<std::string> params = {}) {
    SetParams(std::move(params));
    form_ = app_->CreateForm<TfrmMain>();
    form_->Show();
    return *form_;
  }

  // A path below the test's folder in the program's spelling: UTF-8, the platform's separators
  // ("/" in `rel` included).
  std::string Path(const std::string& rel) const {
    const std::u8string u = (root_ / std::u8string(rel.begin(), rel.end())).make_preferred().u8string();
    return std::string(u.begin(), u.end());
  }
  // The same path for the C++ library, which on Windows would take a narrow text as ANSI.
  std::filesystem::path FsPath(const std::string& rel) const {
    return (root_ / std::u8string(rel.begin(), rel.end())).make_preferred();
  }
  void Write(const std::string& rel, const std::string& data) {
    std::filesystem::create_directories(FsPath(rel).parent_path());
    std::ofstream(FsPath(rel), std::ios::binary) << data;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(FsPath(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& rel) const { return std::filesystem::exists(FsPath(rel)); }
  // The INI file from lines (CR LF added).
  void WriteIni(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    Write("prog/dravello.ini", text);
  }
  // The log's lines without their time stamps.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Read("prog/dravello.log"));
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l.size() > 20 ? l.substr(20) : l);
    }
    return lines;
  }

  std::filesystem::path root_;
  std::ostringstream out_, err_;
  std::unique_ptr<ManualClock> clock_;
  std::unique_ptr<ScopedClock> scopedClock_;
  std::unique_ptr<TApplication> app_;
  THeadlessFrontEnd* ui_ = nullptr;
  TfrmMain* form_ = nullptr;
};

}  // namespace dravello
