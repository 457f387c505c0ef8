// The preview of a run (dravello --dry-run NAME): what it prints, and that it writes nothing.
#ifndef _WIN32
#include <sys/xattr.h>
#endif

#include <map>

#include "app/DryRun.h"
#include "runtime/SysUtils.h"
#include "tests/app/AppFixture.h"
#include "tests/support/Wine.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

class DryRunTest : public AppFixture {
 protected:
  void Scripts(int format, bool useArchive = false) {
    const std::string flags = std::string("UseArchiveAttrib=") + (useArchive ? "1" : "0");
    WriteIni({"[applic]", "lang=en", "[scripts]", "Daily=", "Weekly=", "[script: Daily]", "CopyFiles=1",
              "DstPath=" + Path("dst"), "DstFormat=" + std::to_string(format), "SrcPath=\"1" + Path("src") + "\"",
              flags, "KeepBackups=1", "[script: Weekly]", "CopyFiles=0", "DstPath=" + Path("out"),
              "DstFormat=" + std::to_string(format), "SrcPath=\"1" + Path("src") + "\"", "SrcExt=\"*.txt\"", flags,
              "RemArchiveAttrib=1"});
    // The engine the pack script needs, where the program looks for it.
    Write("prog/ZIPENGINE.DLL", "");
  }
  // Runs the preview with the given parameters; the printed lines go to `lines`.
  int Preview(std::vector<std::string> params) {
    SetParams(std::move(params));
    std::ostringstream out, err;
    const int status = RunDryRun(out, err);
    lines_.clear();
    std::istringstream in(out.str());
    for (std::string l; std::getline(in, l);) lines_.push_back(l);
    errors_ = err.str();
    return status;
  }
  // Every path below the test's folder with its content (files), its kind and its extended
  // attributes: a preview must leave all of it exactly as it was.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      std::string state = e.is_directory() ? "dir" : ReadFileToString(Env::Platform(), e.path().string());
#ifdef _WIN32
      // The DOS attributes, archive bit included, are the file's own there.
      state += "|" + std::to_string(Env::Platform().GetAttributes(e.path().string()).value_or(0));
#else
      char names[4096];
      const ssize_t n = ::listxattr(e.path().c_str(), names, sizeof names);
      for (ssize_t at = 0; at < n;) {
        char value[256];
        const ssize_t v = ::getxattr(e.path().c_str(), names + at, value, sizeof value);
        state += std::string("|") + (names + at) + "=" + std::string(value, v > 0 ? static_cast<size_t>(v) : 0);
        at += static_cast<ssize_t>(std::strlen(names + at)) + 1;
      }
#endif
      all[e.path().string()] = state;
    }
    return all;
  }
  std::vector<std::string> lines_;
  std::string errors_;
};

TEST_F(DryRunTest, ACopyPreviewListsWhatTheRunWouldCopyAndWritesNothing) {
  Write("src/a.txt", "a");
  Write("src/sub/b.doc", "b");
  Scripts(0);
  const auto before = Snapshot();
  EXPECT_EQ(Preview({"--dry-run", "Daily"}), 0);
  const std::string dst = Path("dst/2004-03-15 14-07/");
  EXPECT_EQ(lines_, (std::vector<std::string>{Path("src/a.txt") + " -> " + dst + PathWithoutDrive(Path("src/a.txt")),
                                              Path("src/sub/b.doc") + " -> " + dst + PathWithoutDrive(Path("src/sub/b.doc")),
                                              "Copied 2 files..."}));
  EXPECT_EQ(errors_, "");
  EXPECT_EQ(Snapshot(), before) << "the preview changed something on disk";
  EXPECT_FALSE(Exists("prog/dravello.log"));
  EXPECT_FALSE(Exists("dst"));

  // After a real run, only what changed since would be copied again.
  Scripts(2);
  Start({"Daily"});
  form_->RunScript("Daily");
  Write("src/a.txt", "a, changed");
  Env::Default().SetFileTime(Path("src/a.txt"), (int64_t{2000000000}) * 1000000000);
  const auto afterRun = Snapshot();
  EXPECT_EQ(Preview({"--dry-run", "Daily"}), 0);
  EXPECT_EQ(lines_, (std::vector<std::string>{Path("src/a.txt") + " -> " + Path("dst/") + PathWithoutDrive(Path("src/a.txt")),
                                              "Copied 1 files..."}));
  EXPECT_EQ(Snapshot(), afterRun);
}

TEST_F(DryRunTest, APackPreviewListsTheFilesTheEngineWouldPackAndCountsAsTheRunDoes) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Write("src/flagged.txt", "f");
  Write("src/plain.txt", "p");
  Write("src/left.log", "l");
  Env::Default().SetAttributes(Path("src/plain.txt"), 0);
  Scripts(1, true);
  const auto before = Snapshot();
  EXPECT_EQ(Preview({"--dry-run", "Weekly"}), 0);
  // The run hands both .txt files to the engine and counts them; the engine packs the flagged one.
  EXPECT_EQ(lines_, (std::vector<std::string>{Path("src/flagged.txt") + " -> " + Path("out/2004/03151407.zip"),
                                              "Packing 2 files..."}));
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DryRunTest, TheCountLineIsInTheLanguageOfTheSettings) {
  Write("src/a.txt", "a");
  Scripts(2);
  std::string ini = Read("prog/dravello.ini");
  ini.replace(ini.find("lang=en"), 7, "lang=de");
  Write("prog/dravello.ini", ini);
  EXPECT_EQ(Preview({"--dry-run", "Weekly"}), 0);
  EXPECT_EQ(lines_.back(), "Packe 1 Dateien...");
}

TEST_F(DryRunTest, ParameterErrorsAreThoseOfARunAndExitWith2) {
  Write("src/a.txt", "a");
  Scripts(2);
  const auto before = Snapshot();
  struct Case {
    std::vector<std::string> Params;
    const char* Caption;
  };
  const Case cases[] = {
      {{"--dry-run", "Nope"}, "Parameter error"},
      {{"--dry-run", "Daily", "Weekly"}, "Parameter error"},
      {{"--dry-run"}, "Parameter error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Params));
    const size_t boxes = ui_->MessageBoxes().size();
    EXPECT_EQ(Preview(c.Params), 2);
    EXPECT_EQ(lines_, std::vector<std::string>{});
    ASSERT_EQ(ui_->MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(ui_->MessageBoxes().back().Caption, c.Caption);
  }
  EXPECT_EQ(ui_->MessageBoxes()[0].Text, "The following script does not exist:#CRLF#Nope\r\nPlease choose one manually.");
  EXPECT_EQ(ui_->MessageBoxes()[1].Text.rfind("You specified more than one parameter.", 0), 0u);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DryRunTest, TheSwitchIsRecognisedAsWritten) {
  EXPECT_TRUE(IsDryRunSwitch("--dry-run"));
  EXPECT_FALSE(IsDryRunSwitch("--dry-run="));
  EXPECT_FALSE(IsDryRunSwitch("--Dry-Run"));
  EXPECT_FALSE(IsDryRunSwitch("Daily"));
  EXPECT_EQ(IsDryRunSwitch("/dryrun"), PathDelim == '\\');
  EXPECT_EQ(IsDryRunSwitch("/DryRun"), PathDelim == '\\');
}

}  // namespace
}  // namespace dravello
