// Fault trials of copy runs: the disk fills up, a read breaks off, a source vanishes, a folder
// cannot be made. Each is logged and fails the run, and every copy made before stays whole: a
// file under its final name is always the previous copy or the new one, never a part.
#include "tests/support/FaultEnv.h"
#include "tests/trials/TrialFixture.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

struct TreeFile {
  std::string Rel;  // below src/
  size_t Size;
};
// Small, large (more than one copy buffer) and empty files, in three folders.
const std::vector<TreeFile> kTree = {
    {"a.txt", 10000}, {"b.bin", 300000}, {"sub/c.bin", 1500000}, {"sub/empty.txt", 0}, {"sub/deeper/e.bin", 700000},
};
constexpr int64_t kOldTime = 1600000000;
constexpr int64_t kNewTime = kOldTime + 3600;

int64_t TreeBytes() {
  int64_t total = 0;
  for (const TreeFile& f : kTree) total += static_cast<int64_t>(f.Size);
  return total;
}

class CopyFaultTest : public TrialFixture {
 protected:
  static std::string OldContent(size_t i) { return Noise(kTree[i].Size, static_cast<uint32_t>(i)); }
  static std::string NewContent(size_t i) { return Noise(kTree[i].Size, static_cast<uint32_t>(100 + i)); }

  // A fresh tree backed up once, then every source changed and dated later, so that the next
  // run replaces every copy.
  void BackUpThenChange() {
    fs::remove_all(Path("src"));
    fs::remove_all(Path("dst"));
    for (size_t i = 0; i < kTree.size(); ++i) {
      Write("src/" + kTree[i].Rel, OldContent(i));
      SetMTime("src/" + kTree[i].Rel, kOldTime);
    }
    ASSERT_EQ(RunScript("Daily"), 0);
    for (size_t i = 0; i < kTree.size(); ++i) {
      Write("src/" + kTree[i].Rel, NewContent(i));
      SetMTime("src/" + kTree[i].Rel, kNewTime);
    }
  }

  struct Outcome {
    int Replaced = 0;  // copies that are the new content with the new time
    int Kept = 0;      // copies that are still the previous content with the previous time
  };
  // Every copy is whole, old or new, and every copy still old has its failure in `log`; no
  // temporary file is left in the destination.
  Outcome CheckCopies(const std::vector<std::string>& log) {
    Outcome o;
    for (size_t i = 0; i < kTree.size(); ++i) {
      const std::string rel = Mirror("src/" + kTree[i].Rel);
      const std::string content = Read(rel);
      const int64_t seconds = Env::Default().Stat(Path(rel)).MTimeNs / 1000000000;
      if (content == NewContent(i) && seconds == kNewTime) {
        ++o.Replaced;
      } else if (content == OldContent(i) && seconds == kOldTime) {
        ++o.Kept;
        EXPECT_EQ(CountContaining(log, "### Exception during copying " + Path("src/" + kTree[i].Rel) + " -> "), 1)
            << kTree[i].Rel << " was not copied, yet no failure names it";
      } else {
        ADD_FAILURE() << kTree[i].Rel << ": the copy is neither the old nor the new file (" << content.size()
                      << " bytes, time " << seconds << ")";
      }
    }
    EXPECT_EQ(TempFilesUnder("dst"), std::vector<std::string>{});
    return o;
  }
  static bool Copied(const std::vector<std::string>& log, int count) {
    return CountContaining(log, "[Daily] Copied " + std::to_string(count) + " files...") == 1;
  }

  // After a fault is gone, the next run copies what is left.
  void ExpectNextRunCompletes(const Outcome& before) {
    const size_t mark = LogLines().size();
    EXPECT_EQ(RunScript("Daily"), 0);
    const std::vector<std::string> log = LogSince(mark);
    Outcome o = CheckCopies(log);
    EXPECT_EQ(o.Replaced, static_cast<int>(kTree.size()));
    EXPECT_TRUE(Copied(log, before.Kept)) << ::testing::PrintToString(log);
  }

  bool UnderDst(const std::string& path) const { return path.rfind(Path("dst/"), 0) == 0; }
  bool UnderSrc(const std::string& path) const { return path.rfind(Path("src/"), 0) == 0; }
};

// A disk that fills up under the copies and a source that stops reading, each after N bytes: every
// copy the run could not finish keeps its previous version, and the next run completes them.
TEST_F(CopyFaultTest, WriteAndReadFaultsAfterNBytesKeepThePreviousCopies) {
  Scripts();
  const int64_t total = TreeBytes();
  struct Case {
    const char* fault;
    bool onWrites;  // else on reads of the sources
    std::vector<int64_t> budgets;
    const char* failure;
  };
  const Case cases[] = {
      // Nothing fits; one byte; exactly the first small file; inside the large file's second
      // buffer; all but one byte; everything.
      {"disk full", true, {0, 1, 10000, 1200000, total - 1, total}, "No space left on device]"},
      {"read error", false, {0, 5000, 400000, 2000000, total - 1, total}, "Input/output error]"},
  };
  for (const Case& c : cases) {
    for (int64_t budget : c.budgets) {
      SCOPED_TRACE(std::string(c.fault) + " after " + std::to_string(budget) + " bytes");
      BackUpThenChange();
      const size_t mark = LogLines().size();
      int status;
      {
        FaultEnv faults(Env::Platform());
        if (c.onWrites)
          faults.FailWritesAfter(budget, [this](const std::string& path) { return UnderDst(path); });
        else
          faults.FailReadsAfter(budget, [this](const std::string& path) { return UnderSrc(path); });
        ScopedEnv scoped(faults);
        status = RunScript("Daily");
      }
      const std::vector<std::string> log = LogSince(mark);
      Outcome o = CheckCopies(log);
      EXPECT_TRUE(Copied(log, o.Replaced)) << ::testing::PrintToString(log);
      EXPECT_EQ(status, budget < total ? 1 : 0);
      EXPECT_EQ(o.Kept > 0, budget < total);
      EXPECT_EQ(CountContaining(log, c.failure), o.Kept);
      ExpectNextRunCompletes(o);
    }
  }
}

TEST_F(CopyFaultTest, ASourceVanishingAfterTheListingFailsOnlyItsOwnCopy) {
  Scripts();
  struct Case {
    std::string name;
    std::string victim;  // below src/
    bool atItsOwnOpen;   // vanishes just before its bytes are read, else while another is read
    std::string failure;
  } cases[] = {
      {"just before its bytes are read", "b.bin", true, "No such file or directory]"},
      {"while an earlier file is copied", "sub/deeper/e.bin", false,
       "the file no longer exists or is no regular file]"},
  };
#ifdef _WIN32
  // The system's own words for a missing file, as the log quotes them (they differ between
  // Windows and Wine).
  std::string missing = "?";
  try {
    Env::Platform().NewSequentialFile(Path("no such file"));
  } catch (const Exception& e) {
    missing = e.Message().substr(e.Message().rfind(": ") + 2) + "]";
  }
  cases[0].failure = missing;
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BackUpThenChange();
    const std::string victim = Path("src/" + c.victim);
    const size_t mark = LogLines().size();
    int status;
    {
      FaultEnv faults(Env::Platform());
      faults.BeforeFirstRead([victim](const std::string&) { fs::remove(victim); },
                             [&](const std::string& path) { return UnderSrc(path) && (path == victim) == c.atItsOwnOpen; });
      ScopedEnv scoped(faults);
      status = RunScript("Daily");
    }
    const std::vector<std::string> log = LogSince(mark);
    EXPECT_EQ(status, 1);
    Outcome o = CheckCopies(log);
    EXPECT_EQ(o.Kept, 1);
    EXPECT_EQ(o.Replaced, static_cast<int>(kTree.size()) - 1);
    EXPECT_TRUE(Copied(log, o.Replaced)) << ::testing::PrintToString(log);
    EXPECT_EQ(CountContaining(log, "### Exception during copying " + victim + " -> "), 1);
    EXPECT_EQ(CountContaining(log, c.failure), 1) << ::testing::PrintToString(log);
    // The vanished file's previous copy is all that is left of it, and stays.
    EXPECT_EQ(RunScript("Daily"), 0);
    for (size_t i = 0; i < kTree.size(); ++i) {
      if (kTree[i].Rel == c.victim) {
        EXPECT_EQ(Read(Mirror("src/" + c.victim)), OldContent(i));
      }
    }
  }
}

TEST_F(CopyFaultTest, AMirrorFolderThatCannotBeMadeFailsItsFilesOnly) {
  Scripts();
  BackUpThenChange();
  Write("src/newdir/f.txt", "new file");
  const std::string folder = Path(Mirror("src/newdir"));
  const size_t mark = LogLines().size();
  int status;
  {
    FaultEnv faults(Env::Platform());
    faults.FailWhen([&](const std::string& op, const std::string& path) { return op == "mkdir" && path == folder; });
    ScopedEnv scoped(faults);
    status = RunScript("Daily");
  }
  const std::vector<std::string> log = LogSince(mark);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(CountContaining(log, "### Exception during creating path " + folder + PathDelim + " [Injected failure: mkdir"), 1)
      << ::testing::PrintToString(log);
  EXPECT_EQ(CountContaining(log, "### Exception during copying " + Path("src/newdir/f.txt") + " -> "), 1);
  Outcome o = CheckCopies(log);
  EXPECT_EQ(o.Replaced, static_cast<int>(kTree.size()));
  EXPECT_TRUE(Copied(log, o.Replaced)) << ::testing::PrintToString(log);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(RunScript("Daily"), 0);
  EXPECT_EQ(Read(Mirror("src/newdir/f.txt")), "new file");
}

TEST_F(CopyFaultTest, ADatedDestinationThatCannotBeMadeFailsTheRunAndKeepsEarlierBackups) {
  Scripts(0);
  Write("src/a.txt", "a");
  TfrmMain& f = Start({"Daily"});
  f.Activate();
  ASSERT_EQ(f.ExitStatus(), 0);
  const std::string earlier = Path("dst/2004-03-15 14-07/" + PathWithoutDrive(Path("src/a.txt")));
  ASSERT_EQ(ReadFileToString(Env::Default(), earlier), "a");

  clock_->Set({2004, 3, 15, 15, 0, 0, 0});
  Write("src/a.txt", "changed");
  const size_t mark = LogLines().size();
  {
    FaultEnv faults(Env::Platform());
    faults.FailWhen([this](const std::string& op, const std::string& path) {
      return op == "mkdir" && path == Path("dst/2004-03-15 15-00");
    });
    ScopedEnv scoped(faults);
    f.FailureCount = 0;
    f.RunCommandLine();
  }
  EXPECT_EQ(f.ExitStatus(), 1);
  const std::vector<std::string> log = LogSince(mark);
  EXPECT_EQ(CountContaining(log, "[Daily] ### Exception during creating path " + Path("dst") + PathDelim +
                                     " [Injected failure: mkdir \"" + Path("dst/2004-03-15 15-00") + "\"]"),
            1)
      << ::testing::PrintToString(log);
  EXPECT_EQ(ReadFileToString(Env::Default(), earlier), "a");
  EXPECT_FALSE(fs::exists(Path("dst/2004-03-15 15-00")));
}

}  // namespace
}  // namespace dravello
