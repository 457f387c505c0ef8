// Extending an existing archive: old entries copied unchanged, same-named entries replaced,
// Update/Freshen by time, and what happens to the sources afterwards (move, archive bit).
#include <gtest/gtest.h>

#include <algorithm>

#include <map>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/Shell.h"
#include "tests/support/Wine.h"
#include "tests/zip/ZipBuilder.h"

namespace dravello::zipengine::test {
namespace {

constexpr int64_t kSec = 1000000000;
constexpr int64_t kT0 = 1300000000LL * kSec;

std::map<std::string, PyEntry> ByName(const std::string& zip) {
  std::map<std::string, PyEntry> m;
  for (const PyEntry& e : ListWithPython(zip)) m[EntryFileName(e.Name)] = e;
  return m;
}

class EngineUpdateTest : public ::testing::Test {
 protected:
  std::string Src(const std::string& name) { return tmp_ / ("src/" + name); }
  std::string Entry(const std::string& name) { return StoredName(Src(name)); }

  int32_t Add(const std::vector<std::string>& names, std::function<void(ZipCommand&)> tweak = nullptr) {
    EngineCommand cmd(zip_);
    cmd.BackupToolDefaults();
    for (const std::string& n : names) cmd.Spec(Src(n));
    if (tweak) tweak(cmd.Cmd());
    int32_t r = cmd.Run();
    messages_ = cmd.Messages();
    return r;
  }

  TempFolder tmp_;
  std::string zip_ = tmp_ / "a.zip";
  std::string messages_;
};

TEST_F(EngineUpdateTest, ExtendingCopiesOldEntriesRawAndReplacesSameNames) {
  std::string bigText;
  for (int i = 0; i < 20000; ++i) bigText += "line " + std::to_string(i * 7919 % 1000) + "\n";
  WriteFile(Src("keep.txt"), bigText, kT0);
  WriteFile(Src("change.txt"), "version one", kT0);
  ASSERT_EQ(Add({"keep.txt", "change.txt"}), 2);
  std::string keptRaw = RawEntryData(zip_, Entry("keep.txt"));
  ASSERT_FALSE(keptRaw.empty());

  WriteFile(Src("change.txt"), "version two", kT0 + 100 * kSec);
  WriteFile(Src("new.txt"), "brand new", kT0);
  ASSERT_EQ(Add({"change.txt", "new.txt"}, [](ZipCommand& c) { c.CompressionLevel = 1; }), 2) << messages_;
  EXPECT_EQ(ReadersReject(zip_), "");
  auto entries = ByName(zip_);
  EXPECT_EQ(entries.size(), 3u) << "the replaced entry is not kept twice";
  EXPECT_EQ(RawEntryData(zip_, Entry("keep.txt")), keptRaw) << "old entries are copied, never recompressed";
  EXPECT_EQ(UnzipContent(zip_, Entry("change.txt")), "version two");
  EXPECT_EQ(UnzipContent(zip_, Entry("keep.txt")), bigText);
}

TEST_F(EngineUpdateTest, ArchiveCommentIsKept) {
  WriteFile(Src("a.txt"), "a");
  ASSERT_EQ(Add({"a.txt"}, [](ZipCommand& c) { c.CommentText = "first comment"; }), 1);
  EXPECT_EQ(PythonComment(zip_), "first comment");
  WriteFile(Src("b.txt"), "b");
  ASSERT_EQ(Add({"b.txt"}), 1) << "no comment in the command keeps the archive's own";
  EXPECT_EQ(PythonComment(zip_), "first comment");
}

TEST_F(EngineUpdateTest, ExtendsArchivesWrittenByOtherTools) {
  WriteFile(Src("x.txt"), "from zip");
  WriteFile(Src("y.txt"), "from python");
  const bool withLinuxTools = testing::LinuxToolsAvailable();
  if (withLinuxTools) {
    // Info-ZIP zip with a data descriptor (streamed input) and Python with ZIP64 records.
    ASSERT_EQ(RunTool("cd " + Quote(tmp_ / "src") + " && printf streamed | zip -q -fd " + Quote(zip_) + " - && zip -q " +
                      Quote(zip_) + " x.txt")
                  .Status,
              0);
    ASSERT_EQ(RunTool("python3 -c \"import zipfile,sys\nwith zipfile.ZipFile(sys.argv[1],'a') as z:\n"
                      "  with z.open('py.txt','w',force_zip64=True) as f: f.write(b'py data')\" " +
                      Quote(zip_))
                  .Status,
              0);
  } else {
    // Without those programs (Windows) the foreign archive is made byte by byte: a plain entry and
    // one with ZIP64 records. The streamed entry with a data descriptor is Linux's alone.
    std::printf("[ SKIPPED  ] the entry with a data descriptor: %s\n", testing::kNoLinuxTools);
    ziptest::ZipBuilder b;
    ziptest::BuildEntry py = ziptest::Entry("py.txt", "py data");
    py.zip64 = true;
    b.entries = {ziptest::Entry("x.txt", "from zip"), py};
    b.zip64End = true;
    WriteFile(zip_, b.Build());
  }
  WriteFile(Src("new.txt"), "ours");
  ASSERT_EQ(Add({"new.txt"}), 1) << messages_;
  EXPECT_EQ(ReadersReject(zip_), "");
  if (withLinuxTools) {
    EXPECT_EQ(UnzipContent(zip_, "-"), "streamed");
  }
  EXPECT_EQ(UnzipContent(zip_, "x.txt"), "from zip");
  EXPECT_EQ(UnzipContent(zip_, "py.txt"), "py data");
  EXPECT_EQ(UnzipContent(zip_, Entry("new.txt")), "ours");
}

// Another tool may have stored one name twice: a new file replaces the first of them, and the
// second stays as it was.
TEST_F(EngineUpdateTest, ANameStoredTwiceLosesOnlyTheFirstToTheNewFile) {
  ziptest::ZipBuilder b;
  b.entries = {ziptest::Entry(Entry("a.txt"), "one"), ziptest::Entry(Entry("a.txt"), "second")};
  WriteFile(zip_, b.Build());
  WriteFile(Src("a.txt"), "brand new text");
  ASSERT_EQ(Add({"a.txt"}), 1) << messages_;
  EXPECT_EQ(ReadersReject(zip_), "");
  std::vector<uint64_t> sizes;
  for (const PyEntry& e : ListWithPython(zip_)) {
    EXPECT_EQ(e.Name, Entry("a.txt"));
    sizes.push_back(e.Size);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<uint64_t>{6, 14}));
}

TEST_F(EngineUpdateTest, UpdateAndFreshenCompareTimes) {
  WriteFile(Src("old.txt"), "old v1", kT0);
  WriteFile(Src("same.txt"), "same v1", kT0);
  ASSERT_EQ(Add({"old.txt", "same.txt"}), 2);
  WriteFile(Src("old.txt"), "old v2", kT0 + 3600 * kSec);  // newer than its entry
  WriteFile(Src("same.txt"), "same v2", kT0);              // same time: not newer
  WriteFile(Src("extra.txt"), "extra", kT0);                // not in the archive

  ASSERT_EQ(Add({"old.txt", "same.txt", "extra.txt"}, [](ZipCommand& c) { c.FreshenFlag = -1; }), 1) << messages_;
  EXPECT_EQ(UnzipContent(zip_, Entry("old.txt")), "old v2");
  EXPECT_EQ(UnzipContent(zip_, Entry("same.txt")), "same v1");
  EXPECT_EQ(ByName(zip_).count("extra.txt"), 0u) << "freshen adds nothing new";

  ASSERT_EQ(Add({"old.txt", "same.txt", "extra.txt"}, [](ZipCommand& c) { c.UpdateFlag = -1; }), 1) << messages_;
  EXPECT_EQ(ByName(zip_).count("extra.txt"), 1u) << "update adds new files";
  EXPECT_EQ(UnzipContent(zip_, Entry("same.txt")), "same v1");

  std::string settled = ReadFile(zip_);
  EXPECT_EQ(Add({"old.txt", "same.txt", "extra.txt"}, [](ZipCommand& c) { c.UpdateFlag = -1; }), 0);
  EXPECT_EQ(ReadFile(zip_), settled) << "nothing newer leaves the archive as it was";
}

TEST_F(EngineUpdateTest, UpdateFallsBackToDosTimesOfForeignEntries) {
  // Entries without an extended timestamp (as Python writes them) compare by their DOS time.
  const std::string newer = Entry("newer.txt"), older = Entry("older.txt");
  if (testing::LinuxToolsAvailable()) {
    ASSERT_EQ(RunTool("python3 -c \"import zipfile,sys\nwith zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                      "  for n in sys.argv[2:]: z.writestr(zipfile.ZipInfo(n,(2005,6,1,12,0,0)),b'old')\" " +
                      Quote(zip_) + " " + Quote(newer) + " " + Quote(older))
                  .Status,
              0);
  } else {
    // The same archive byte by byte where Python is not there (Windows).
    ziptest::ZipBuilder b;
    for (const std::string& name : {newer, older}) {
      ziptest::BuildEntry e = ziptest::Entry(name, "old");
      e.dosDate = ((2005 - 1980) << 9) | (6 << 5) | 1;
      e.dosTime = 12 << 11;
      b.entries.push_back(e);
    }
    WriteFile(zip_, b.Build());
  }
  WriteFile(Src("newer.txt"), "new", 1262304000LL * kSec);  // 2010
  WriteFile(Src("older.txt"), "new", 946684800LL * kSec);   // 2000
  ASSERT_EQ(Add({"newer.txt", "older.txt"}, [](ZipCommand& c) { c.UpdateFlag = -1; }), 1) << messages_;
  EXPECT_EQ(UnzipContent(zip_, newer), "new");
  EXPECT_EQ(UnzipContent(zip_, older), "old");
}

TEST_F(EngineUpdateTest, InvalidExistingArchiveIsNeverOverwritten) {
  WriteFile(Src("a.txt"), "a");
  struct Case {
    const char* Name;
    std::string Content;
  } cases[] = {
      {"text file", std::string(5000, 'x')},
      {"empty file", ""},
      {"truncated zip", std::string("PK\x03\x04", 4) + std::string(100, '\0')},
      {"end record pointing nowhere",
       std::string("PK\x05\x06\0\0\0\0\x01\0\x01\0\x2e\0\0\0\0\0\0\0\0\0", 22)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(zip_, c.Content);
    EngineCommand cmd(zip_);
    cmd.Spec(Src("a.txt"));
    EXPECT_EQ(cmd.Run(), 0);
    EXPECT_EQ(ReadFile(zip_), c.Content);
    EXPECT_NE(cmd.Messages().find("3: "), std::string::npos) << cmd.Messages();
    EXPECT_EQ(Env::Platform().ListDirectory(tmp_.Path()).size(), 2u) << "no temporary file left";
  }
}

TEST_F(EngineUpdateTest, MoveDeletesSourcesOnlyAfterTheArchiveIsInPlace) {
  WriteFile(Src("m1.txt"), "one");
  WriteFile(Src("m2.txt"), "two");
  ASSERT_EQ(Add({"m1.txt", "m2.txt"}, [](ZipCommand& c) { c.MoveFlag = -1; }), 2);
  EXPECT_FALSE(Env::Platform().Stat(Src("m1.txt")).Exists());
  EXPECT_FALSE(Env::Platform().Stat(Src("m2.txt")).Exists());
  EXPECT_EQ(UnzipContent(zip_, Entry("m2.txt")), "two");

  // A failed archive write deletes nothing.
  WriteFile(Src("m3.txt"), "three");
  FaultEnv fault(Env::Platform());
  fault.FailWhen([](const std::string& op, const std::string&) { return op == "rename"; });
  {
    ScopedEnv scoped(fault);
    EXPECT_EQ(Add({"m3.txt"}, [](ZipCommand& c) { c.MoveFlag = -1; }), 0);
  }
  EXPECT_TRUE(Env::Platform().FileExists(Src("m3.txt")));
}

TEST_F(EngineUpdateTest, ArchiveOnlyAndResetArchive) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Env& env = Env::Platform();
  WriteFile(Src("set.txt"), "set");
  WriteFile(Src("clear.txt"), "clear");
  ASSERT_TRUE(env.SetAttributes(Src("clear.txt"), 0, nullptr));
  ASSERT_EQ(*env.GetAttributes(Src("clear.txt")) & faArchive, 0u);

  ASSERT_EQ(Add({"set.txt", "clear.txt"}, [](ZipCommand& c) { c.ArchiveOnlyFlag = 1; }), 1);
  EXPECT_EQ(ByName(zip_).count("clear.txt"), 0u);
  EXPECT_NE(*env.GetAttributes(Src("set.txt")) & faArchive, 0u) << "without reset the bit stays";

  ASSERT_EQ(Add({"set.txt"}, [](ZipCommand& c) {
              c.ArchiveOnlyFlag = 1;
              c.ResetArchiveFlag = 1;
            }),
            1);
  EXPECT_EQ(*env.GetAttributes(Src("set.txt")) & faArchive, 0u) << "stored and unchanged: bit cleared";
  EXPECT_EQ(Add({"set.txt"}, [](ZipCommand& c) { c.ArchiveOnlyFlag = 1; }), 0) << "nothing left to back up";

  // Written again: the bit is back, and the file is taken again.
  WriteFile(Src("set.txt"), "set, changed");
  EXPECT_NE(*env.GetAttributes(Src("set.txt")) & faArchive, 0u);
  EXPECT_EQ(Add({"set.txt"}, [](ZipCommand& c) { c.ArchiveOnlyFlag = 1; }), 1);
}

TEST_F(EngineUpdateTest, ResetArchiveKeepsTheBitOfAFileChangedMeanwhile) {
  // Under Wine the bit reads as set whatever happens, and the check could not fail.
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  Env& env = Env::Platform();
  WriteFile(Src("busy.txt"), "before", kT0);
  // The file changes after it was read, while the archive is being finished.
  EngineCommand cmd(zip_);
  cmd.Spec(Src("busy.txt"));
  cmd.Cmd().ResetArchiveFlag = 1;
  struct Hook {
    static int32_t ZIPENGINE_CALL Call(ZipCallbackData* d) {
      auto* path = static_cast<std::string*>(d->ComponentRef);
      if (d->ActionCode == zcaBytesDone) WriteFile(*path, "after, longer", kT0 + kSec);
      return 0;
    }
  };
  std::string path = Src("busy.txt");
  cmd.Cmd().CallbackProc = &Hook::Call;
  cmd.Cmd().ComponentRef = &path;
  ASSERT_EQ(cmd.Run(), 1);
  EXPECT_NE(*env.GetAttributes(path) & faArchive, 0u);
  EXPECT_EQ(UnzipContent(zip_, Entry("busy.txt")), "before");
}

TEST_F(EngineUpdateTest, StopRequestAfterTheArchiveIsInPlaceDoesNotDenyIt) {
  WriteFile(Src("busy.txt"), "before", kT0);
  WriteFile(Src("calm.txt"), "calm", kT0);
  // busy.txt changes after it was read; the caller answers the warning about it with "stop".
  struct Hook {
    static int32_t ZIPENGINE_CALL Call(ZipCallbackData* d) {
      auto* events = static_cast<std::vector<std::string>*>(d->ComponentRef);
      if (d->ActionCode == zcaMessage) events->push_back(std::to_string(d->ActionArg) + ": " + d->Text);
      if (d->ActionCode == zcaFileBegin && std::string(d->Text).find("calm") != std::string::npos)
        WriteFile(std::string(d->Text).substr(0, std::string(d->Text).size() - 8) + "busy.txt", "after, longer",
                  kT0 + kSec);
      return d->ActionCode == zcaMessage ? -1 : 0;
    }
  };
  std::vector<std::string> events;
  EngineCommand cmd(zip_);
  cmd.Spec(Src("busy.txt")).Spec(Src("calm.txt"));
  cmd.Cmd().ResetArchiveFlag = 1;
  cmd.Cmd().CallbackProc = &Hook::Call;
  cmd.Cmd().ComponentRef = &events;
  ASSERT_EQ(cmd.Run(), 2) << "the archive was written; a late stop does not undo that";
  EXPECT_EQ(UnzipContent(zip_, Entry("busy.txt")), "before");
  // The stop was asked for: the warning about busy.txt came, and was answered.
  EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                          [](const std::string& e) { return e.find("changed since it was read") != std::string::npos; }))
      << ::testing::PrintToString(events);
  for (const std::string& e : events) EXPECT_EQ(e.find("left unchanged"), std::string::npos) << e;
}

TEST_F(EngineUpdateTest, ArchiveTimeIsTheNewestEntry) {
  WriteFile(Src("older.txt"), "o", kT0);
  WriteFile(Src("newer.txt"), "n", kT0 + 5000 * kSec);
  ASSERT_EQ(Add({"older.txt", "newer.txt"}, [](ZipCommand& c) { c.ArchiveTimeFlag = -1; }), 2);
  EXPECT_EQ(Env::Platform().Stat(zip_).MTimeNs, kT0 + 5000 * kSec);
}

TEST_F(EngineUpdateTest, VerboseReportsEveryStep) {
  WriteFile(Src("v.txt"), std::string(10000, 'v'));
  ASSERT_EQ(Add({"v.txt"}), 1);
  EXPECT_EQ(messages_, "") << "quiet by default";
  WriteFile(Src("w.txt"), "w");
  ASSERT_EQ(Add({"w.txt"}, [](ZipCommand& c) { c.VerboseFlag = -1; }), 1);
  EXPECT_NE(messages_.find("0: Temporary zipfile: "), std::string::npos) << messages_;
  EXPECT_NE(messages_.find("0:   copying: " + Entry("v.txt")), std::string::npos) << messages_;
  EXPECT_NE(messages_.find("0:   adding: " + Entry("w.txt") + " (stored 0%)"), std::string::npos) << messages_;
}

}  // namespace
}  // namespace dravello::zipengine::test
