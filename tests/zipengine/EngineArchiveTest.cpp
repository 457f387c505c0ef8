// What a new archive looks like: readable by the independent readers, with the names, times,
// attributes and methods the engine promises, and the callbacks the archiver relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"
#include "tests/support/FaultEnv.h"

namespace dravello::zipengine::test {
namespace {

constexpr int64_t kSec = 1000000000;

std::string TextBlob(size_t n, unsigned seed) {
  std::string s;
  static const char* words[] = {"alpha ", "beta ", "gamma\n", "delta ", "epsilon ", "zeta\n", "eta ", "theta "};
  std::mt19937 rng(seed);
  while (s.size() < n) s += words[rng() % 8];
  s.resize(n);
  return s;
}

std::string RandomBlob(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// The central extended-timestamp field for a Unix time, as hex.
std::string TimestampExtraHex(uint32_t t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "5554050001%02x%02x%02x%02x", t & 0xFF, (t >> 8) & 0xFF, (t >> 16) & 0xFF, t >> 24);
  return buf;
}

std::map<std::string, PyEntry> ByName(const std::vector<PyEntry>& entries) {
  std::map<std::string, PyEntry> m;
  for (const PyEntry& e : entries) m[e.Name] = e;
  return m;
}

class EngineArchiveTest : public ::testing::Test {
 protected:
  // Packs everything in src_ into a new archive with `tuning`; the archive's bytes.
  std::string PackAfresh(const EngineTuning& tuning, int32_t files) {
    if (Env::Platform().FileExists(zip_)) Env::Platform().DeleteFile(zip_);
    EngineCommand cmd(zip_);
    cmd.Spec(In(src_, "*"));
    EXPECT_EQ(cmd.Run(tuning), files) << cmd.Messages();
    return ReadFile(zip_);
  }

  TempFolder tmp_;
  std::string src_ = tmp_ / "src";
  std::string zip_ = tmp_ / "out.zip";
};

TEST_F(EngineArchiveTest, MixedFilesPassEveryReaderAndRoundTrip) {
  std::map<std::string, std::string> files = {
      {"docs/readme.txt", TextBlob(200000, 1)},
      {"docs/empty.txt", ""},
      {"bin/random.bin", RandomBlob(300000, 2)},
      {"pics/photo.PNG", TextBlob(50000, 3)},  // store suffix, any letter case
      {"deep/a/b/c/d.txt", TextBlob(10, 4)},
      {"big/large.log", TextBlob(3 << 20, 5)},  // over the tuned stream threshold below
  };
  for (auto& [name, content] : files) WriteFile(In(src_, name), content);
  EngineCommand cmd(zip_);
  cmd.BackupToolDefaults().Spec(In(src_, "*"), true);
  EngineTuning tuning;
  tuning.StreamThreshold = 1 << 20;
  tuning.PieceSize = 256 << 10;
  tuning.MemoryBudget = 256 << 10;
  ASSERT_EQ(cmd.Run(tuning), 6) << cmd.Messages();
  EXPECT_EQ(ReadersReject(zip_), "");

  const std::string prefix = StoredName(src_) + "/";
  auto entries = ByName(ListWithPython(zip_));
  ASSERT_EQ(entries.size(), files.size());
  for (auto& [name, content] : files) {
    ASSERT_TRUE(entries.count(prefix + name)) << name;
    EXPECT_EQ(UnzipContent(zip_, prefix + name), content) << name;
  }
  EXPECT_EQ(entries[prefix + "docs/readme.txt"].Method, 8);
  EXPECT_EQ(entries[prefix + "big/large.log"].Method, 8);
  EXPECT_EQ(entries[prefix + "big/large.log"].Flags & 8, 8u) << "streamed entries carry a data descriptor";
  EXPECT_EQ(entries[prefix + "pics/photo.PNG"].Method, 0) << "store suffixes are matched case-insensitively";
  EXPECT_EQ(entries[prefix + "bin/random.bin"].Method, 0) << "incompressible data is stored";
  EXPECT_EQ(entries[prefix + "docs/empty.txt"].Size, 0u);
  for (auto& [name, e] : entries) {
    EXPECT_EQ(name.find('\\'), std::string::npos);
    EXPECT_NE(name[0], '/');
    EXPECT_EQ(e.CreateSystem, 3) << "made by Unix";
  }
}

// The archive is left out of its own selection, and only the archive: a file whose entry name
// equals the archive's (the archive's path runs through "..") is packed.
TEST_F(EngineArchiveTest, OnlyTheArchiveItselfIsLeftOut) {
  WriteFile(In(src_, "x/b.zip"), "a file, not the archive");
  WriteFile(In(src_, "x/c.txt"), "c");
  const std::string throughParent = In(src_, "x/../b.zip");
  EngineCommand outside(throughParent);
  outside.BackupToolDefaults().Spec(In(src_, "x/*"), true);
  ASSERT_EQ(outside.Run(), 2) << outside.Messages();
  const std::string prefix = StoredName(src_) + "/x/";
  EXPECT_EQ(UnzipContent(In(src_, "b.zip"), prefix + "b.zip"), "a file, not the archive");

  // Now the archive lies among its own sources: a second run does not pack it into itself.
  std::filesystem::remove(In(src_, "x/b.zip"));
  for (int run = 0; run < 2; ++run) {
    EngineCommand inside(In(src_, "x/b.zip"));
    inside.BackupToolDefaults().Spec(In(src_, "x/*"), true);
    ASSERT_EQ(inside.Run(), 1) << inside.Messages();
  }
  EXPECT_EQ(ByName(ListWithPython(In(src_, "x/b.zip"))).count(prefix + "b.zip"), 0u);
  EXPECT_EQ(ByName(ListWithPython(In(src_, "x/b.zip"))).count(prefix + "c.txt"), 1u);
}

TEST_F(EngineArchiveTest, LevelZeroStoresEverything) {
  WriteFile(In(src_, "a.txt"), TextBlob(100000, 7));
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "a.txt")).Cmd().CompressionLevel = 0;
  ASSERT_EQ(cmd.Run(), 1);
  EXPECT_EQ(ListWithPython(zip_).at(0).Method, 0);
  EXPECT_EQ(ReadersReject(zip_), "");
}

TEST_F(EngineArchiveTest, NamesAttributesAndTimes) {
  const int64_t t2004 = 1079359653LL * kSec;  // 2004-03-15 14:07:33 UTC
  WriteFile(In(src_, "caf\xc3\xa9.txt"), "x", t2004);
  WriteFile(In(src_, "plain.txt"), "y", t2004);
  WriteFile(In(src_, ".hidden"), "z", t2004);
#ifdef _WIN32
  Env::Platform().SetAttributes(In(src_, ".hidden"), faHidden | faArchive);  // a leading dot hides nothing there
#endif
  Env::Platform().SetAttributes(In(src_, "plain.txt"), faReadOnly | faArchive);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*"));
  ASSERT_EQ(cmd.Run(), 3) << cmd.Messages();
  auto entries = ByName(ListWithPython(zip_));
  const std::string prefix = StoredName(src_) + "/";
  const PyEntry& utf = entries.at(prefix + "caf\xc3\xa9.txt");
  const PyEntry& plain = entries.at(prefix + "plain.txt");
  EXPECT_EQ(utf.Flags & 0x800, 0x800u) << "UTF-8 names are flagged";
  EXPECT_EQ(plain.Flags & 0x800, 0u) << "plain ASCII names are not";
  EXPECT_EQ(plain.ExternalAttr & 0xFF, faReadOnly | faArchive);
  EXPECT_EQ(plain.ExternalAttr >> 16, 0100000u | 0444u) << "POSIX mode in the upper half";
  EXPECT_EQ(entries.at(prefix + ".hidden").ExternalAttr & faHidden, faHidden);
  // Extended timestamp: id 0x5455, length 5, flags 1, then the Unix time.
  EXPECT_NE(plain.Extra.find(TimestampExtraHex(1079359653)), std::string::npos) << plain.Extra;
  TDateTimeParts local = Env::Platform().LocalTimeOf(t2004);
  EXPECT_EQ(plain.Year, 2004);
  EXPECT_EQ(plain.Hour, local.Hour);
  EXPECT_EQ(plain.Minute, 7);
}

TEST_F(EngineArchiveTest, TimesBefore1980AreClampedInDosFieldsOnly) {
  const int64_t t1975 = 173000000LL * kSec;  // 1975-06-25
  WriteFile(In(src_, "old.txt"), "old", t1975);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "old.txt"));
  ASSERT_EQ(cmd.Run(), 1);
  PyEntry e = ListWithPython(zip_).at(0);
  EXPECT_EQ(std::make_tuple(e.Year, e.Month, e.Day, e.Hour, e.Minute, e.Second), std::make_tuple(1980, 1, 1, 0, 0, 0));
  EXPECT_NE(e.Extra.find(TimestampExtraHex(173000000)), std::string::npos) << "true time kept: " << e.Extra;
  EXPECT_EQ(ReadersReject(zip_), "");
}

TEST_F(EngineArchiveTest, CallbacksComeInOrderOnTheCallingThread) {
  auto name = [](int i) { return Format("f%.2d.txt", {int64_t{i}}); };  // sorts as numbered
  for (int i = 0; i < 12; ++i) WriteFile(In(src_, name(i)), TextBlob(40000 + i, i));
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*.txt"));
  EngineTuning tuning;
  tuning.Workers = 2;
  tuning.MemoryBudget = 64 << 10;
  ASSERT_EQ(cmd.Run(tuning), 12);
  const auto& ev = cmd.Events();
  ASSERT_FALSE(ev.empty());
  int totals = 0, begins = 0, ends = 0;
  uint64_t bytes = 0;
  for (size_t i = 0; i < ev.size(); ++i) {
    EXPECT_EQ(ev[i].Thread, std::this_thread::get_id());
    if (ev[i].Action == zcaTotalFiles) {
      ++totals;
      EXPECT_EQ(ev[i].Value, 12u);
      EXPECT_EQ(begins, 0) << "the total comes before the files";
    }
    if (ev[i].Action == zcaFileBegin) {
      EXPECT_EQ(ev[i].Text, In(src_, name(begins))) << "files in name order";
      EXPECT_EQ(ev[i].Value, 40000u + begins);
      ++begins;
    }
    if (ev[i].Action == zcaBytesDone) bytes += ev[i].Value;
    if (ev[i].Action == zcaBatchEnd) {
      ++ends;
      EXPECT_EQ(i, ev.size() - 1) << "the batch end is the last callback";
    }
  }
  EXPECT_EQ(totals, 1);
  EXPECT_EQ(begins, 12);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(bytes, 12u * 40000 + 66);
  // Worker count does not change the result: entries are written in the same order.
  std::vector<std::string> names;
  for (const PyEntry& e : ListWithPython(zip_)) names.push_back(EntryFileName(e.Name));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(names[i], name(i));
}

TEST_F(EngineArchiveTest, SameArchiveWhateverTheNumberOfWorkers) {
  for (int i = 0; i < 40; ++i)
    WriteFile(In(src_, Format("%.2d.txt", {int64_t{i}})), TextBlob(5000 + 997 * i, i), 1300000000LL * kSec);
  WriteFile(In(src_, "large.txt"), TextBlob(600000, 99), 1300000000LL * kSec);
  std::string reference;
  for (int workers : {1, 2, 5}) {
    SCOPED_TRACE(workers);
    EngineTuning tuning;
    tuning.Workers = workers;
    tuning.MemoryBudget = 50000;  // few files in flight at once
    tuning.StreamThreshold = 100000;
    tuning.PieceSize = 64 << 10;
    const std::string bytes = PackAfresh(tuning, 41);
    if (reference.empty()) reference = bytes;
    EXPECT_TRUE(bytes == reference) << "the archive depends on the number of workers";
  }
  EXPECT_EQ(ReadersReject(zip_), "");
}

// A directory too large to hold waits in a temporary file: the archive is the same byte for byte,
// and the temporary file is gone afterwards.
TEST_F(EngineArchiveTest, SameArchiveWithTheDirectoryHeldOrSpilled) {
  for (int i = 0; i < 1500; ++i)  // some 150 KiB of directory: three blocks
    WriteFile(In(src_, Format("a-rather-long-file-name-for-a-bigger-directory-%.4d.txt", {int64_t{i}})),
              std::to_string(i), 1300000000LL * kSec);
  std::string reference;
  for (int64_t held : {int64_t{64} << 20, int64_t{0}}) {
    SCOPED_TRACE(held);
    EngineTuning tuning;
    tuning.DirectoryHeld = held;
    const std::string bytes = PackAfresh(tuning, 1500);
    if (reference.empty()) reference = bytes;
    EXPECT_TRUE(bytes == reference) << "the archive depends on where its directory waited";
    std::vector<std::string> left;
    for (const DirEntry& e : Env::Platform().ListDirectory(ExtractFilePath(zip_))) left.push_back(e.Name);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{ExtractFileName(zip_), ExtractFileName(src_)}));
  }
  EXPECT_EQ(ReadersReject(zip_), "");
}

TEST_F(EngineArchiveTest, LiteralNamesWithSpecialCharacters) {
#ifdef _WIN32
  GTEST_SKIP() << "file names holding <, >, |, * or ? cannot exist on Windows";
#endif
  WriteFile(In(src_, "a<b.txt"), "lt");
  WriteFile(In(src_, "star*.txt"), "star");
  WriteFile(In(src_, "starX.txt"), "other");  // would match "star*.txt" as a pattern
  WriteFile(In(src_, "q?|>.txt"), "mixed");
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "a<b.txt")).Spec(In(src_, "star*.txt")).Spec(In(src_, "q?|>.txt"));
  ASSERT_EQ(cmd.Run(), 3) << cmd.Messages();
  const std::string prefix = StoredName(src_) + "/";
  auto entries = ByName(ListWithPython(zip_));
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries.count(prefix + "a<b.txt"));
  EXPECT_TRUE(entries.count(prefix + "star*.txt"));
  EXPECT_FALSE(entries.count(prefix + "starX.txt")) << "an existing name is not a pattern";
  EXPECT_EQ(UnzipContent(zip_, prefix + "a<b.txt"), "lt");
  EXPECT_EQ(UnzipContent(zip_, prefix + "star*.txt"), "star");
}

TEST_F(EngineArchiveTest, WildcardsRecursionRootDirStripPathsAndExcludes) {
  WriteFile(In(src_, "top.txt"), "1");
  WriteFile(In(src_, "top.dat"), "2");
  WriteFile(In(src_, "sub/inner.txt"), "3");
  WriteFile(In(src_, "sub/skip.txt"), "4");
  WriteFile(In(src_, "sub/deeper/x.txt"), "5");

  struct Case {
    const char* Name;
    bool Recurse;
    bool Strip;
    const char* Exclude;
    std::vector<std::string> Expected;
  } cases[] = {
      {"flat", false, false, "", {"src/top.txt"}},
      {"recursive", true, false, "", {"src/sub/deeper/x.txt", "src/sub/inner.txt", "src/sub/skip.txt", "src/top.txt"}},
      {"stripped", true, true, "", {"inner.txt", "skip.txt", "top.txt", "x.txt"}},
      {"excluded", true, false, "skip.*", {"src/sub/deeper/x.txt", "src/sub/inner.txt", "src/top.txt"}},
      {"excluded path", true, false, "*/deeper/*", {"src/sub/inner.txt", "src/sub/skip.txt", "src/top.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    if (Env::Platform().FileExists(zip_)) Env::Platform().DeleteFile(zip_);
    EngineCommand cmd(zip_);
    cmd.Spec(Native("src/*.txt"), c.Recurse, "", false, tmp_.Path());  // relative to the root folder
    cmd.Cmd().StripPaths = c.Strip ? -1 : 0;
    if (*c.Exclude) cmd.Exclude(c.Exclude);
    ASSERT_EQ(cmd.Run(), static_cast<int32_t>(c.Expected.size())) << cmd.Messages();
    std::vector<std::string> names;
    for (const PyEntry& e : ListWithPython(zip_)) names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.Expected);
  }
}

TEST_F(EngineArchiveTest, DirectoryEntriesOnlyWhenAsked) {
  WriteFile(In(src_, "d1/d2/f.txt"), "f");
  WriteFile(In(src_, "d1/g.txt"), "g");
  EngineCommand cmd(zip_);
  cmd.Spec("src", true, "", false, tmp_.Path()).Cmd().OmitDirEntries = 0;
  ASSERT_EQ(cmd.Run(), 2) << "directory entries are not counted as files";
  std::vector<std::string> names;
  for (const PyEntry& e : ListWithPython(zip_)) {
    names.push_back(e.Name);
    if (e.Name.back() == '/') {
      EXPECT_EQ(e.ExternalAttr & faDirectory, faDirectory);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"src/", "src/d1/", "src/d1/d2/", "src/d1/d2/f.txt", "src/d1/g.txt"}));
  EXPECT_EQ(ReadersReject(zip_), "");
}

TEST_F(EngineArchiveTest, HiddenFilesOnlyWithTheFlag) {
  WriteFile(In(src_, ".dot"), "h");
  WriteFile(In(src_, "sys.txt"), "s");
  WriteFile(In(src_, "plain.txt"), "p");
  WriteFile(In(src_, ".dotdir/inside.txt"), "i");
#ifdef _WIN32
  // A leading dot hides nothing on Windows: the attribute does.
  Env::Platform().SetAttributes(In(src_, ".dot"), faHidden | faArchive);
  Env::Platform().SetAttributes(In(src_, ".dotdir"), faHidden);
#endif
  Env::Platform().SetAttributes(In(src_, "sys.txt"), faSysFile | faArchive);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*"), true).Cmd().HiddenFilesFlag = 0;
  ASSERT_EQ(cmd.Run(), 1) << cmd.Messages();
  EXPECT_EQ(EntryFileName(ListWithPython(zip_).at(0).Name), "plain.txt");
}

TEST_F(EngineArchiveTest, DateFilterTakesFilesFromThatDayOn) {
  WriteFile(In(src_, "old.txt"), "o", 946684800LL * kSec + 12 * 3600 * kSec);  // 2000-01-01 noon UTC
  WriteFile(In(src_, "new.txt"), "n", 1262304000LL * kSec + 12 * 3600 * kSec);  // 2010-01-01 noon UTC
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*"));
  cmd.Cmd().DateFilterFlag = -1;
  std::memcpy(cmd.Cmd().FromDate, "06 15 05", 8);
  ASSERT_EQ(cmd.Run(), 1);
  EXPECT_EQ(EntryFileName(ListWithPython(zip_).at(0).Name), "new.txt");
}

TEST_F(EngineArchiveTest, SpecialFilesAreSkippedWithAWarning) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs";
#endif
  WriteFile(In(src_, "ok.txt"), "fine");
  ASSERT_EQ(RunTool("mkfifo " + Quote(In(src_, "pipe"))).Status, 0);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*")).Spec(In(src_, "pipe"));
  ASSERT_EQ(cmd.Run(), 1);  // would hang here if the FIFO were opened
  EXPECT_NE(cmd.Messages().find("pipe"), std::string::npos) << cmd.Messages();
}

TEST_F(EngineArchiveTest, NoMatchAddsNothingAndCreatesNothing) {
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "nothing*.txt"));
  EXPECT_EQ(cmd.Run(), 0);
  EXPECT_FALSE(Env::Platform().Stat(zip_).Exists());
  EXPECT_NE(cmd.Messages().find("12: "), std::string::npos) << cmd.Messages();
}

TEST_F(EngineArchiveTest, EncryptedEntriesOpenWithThePassword) {
  std::string text = TextBlob(100000, 9);
  WriteFile(In(src_, "secret.txt"), text);
  WriteFile(In(src_, "big.txt"), TextBlob(2 << 20, 10));
  WriteFile(In(src_, "open.txt"), "public");
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "secret.txt"), false, "pa55 word", true)
      .Spec(In(src_, "big.txt"), false, "pa55 word", true)
      .Spec(In(src_, "open.txt"));
  cmd.Cmd().EncryptFlag = -1;
  EngineTuning tuning;
  tuning.StreamThreshold = 1 << 20;  // big.txt is streamed: its check byte comes from the time
  tuning.PieceSize = 256 << 10;
  ASSERT_EQ(cmd.Run(tuning), 3) << cmd.Messages();
  EXPECT_EQ(ReadersReject(zip_, "pa55 word"), "");
  const std::string prefix = StoredName(src_) + "/";
  EXPECT_EQ(UnzipContent(zip_, prefix + "secret.txt", "pa55 word"), text);
  EXPECT_EQ(UnzipContent(zip_, prefix + "big.txt", "pa55 word"), TextBlob(2 << 20, 10));
  // A wrong password passes the one-byte check one time in 256 and then fails on the data: either
  // way the text must not come out.
  EXPECT_NE(UnzipContent(zip_, prefix + "secret.txt", "wrong"), text);
  auto entries = ByName(ListWithPython(zip_));
  EXPECT_EQ(entries[prefix + "secret.txt"].Flags & 1, 1u);
  EXPECT_EQ(entries[prefix + "open.txt"].Flags & 1, 0u);
}

TEST_F(EngineArchiveTest, EncryptionWithoutPasswordAsksTheCaller) {
  WriteFile(In(src_, "a.txt"), "asked");
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "a.txt"), false, "", true);
  cmd.AnswerPassword("given");
  ASSERT_EQ(cmd.Run(), 1);
  ASSERT_EQ(cmd.EventsOf(zcaPassword).size(), 1u);
  EXPECT_EQ(UnzipContent(zip_, StoredName(src_) + "/a.txt", "given"), "asked");

  // No answer: the file is not stored in the clear.
  Env::Platform().DeleteFile(zip_);
  EngineCommand refused(zip_);
  refused.Spec(In(src_, "a.txt"), false, "", true);
  EXPECT_EQ(refused.Run(), 0);
  EXPECT_FALSE(Env::Platform().Stat(zip_).Exists());
}

TEST_F(EngineArchiveTest, UnreadableAndVanishedFilesAreSkipped) {
  WriteFile(In(src_, "a.txt"), "a");
  WriteFile(In(src_, "b.txt"), "b");
  WriteFile(In(src_, "c.txt"), "c");
  FaultEnv fault(Env::Platform());
  fault.FailWhen([&](const std::string& op, const std::string& path) {
    return op == "open" && path == In(src_, "b.txt");
  });
  ScopedEnv scoped(fault);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*.txt")).Spec(In(src_, "gone.txt"));
  ASSERT_EQ(cmd.Run(), 2);
  std::string messages = cmd.Messages();
  EXPECT_NE(messages.find("b.txt"), std::string::npos) << messages;
  EXPECT_NE(messages.find("gone.txt"), std::string::npos) << messages;
  EXPECT_EQ(ListWithPython(zip_).size(), 2u);
}

TEST_F(EngineArchiveTest, ReadErrorInsideALargeFileSkipsOnlyThatFile) {
  WriteFile(In(src_, "a.txt"), TextBlob(20000, 11));
  WriteFile(In(src_, "b.txt"), TextBlob(20000, 12));
  WriteFile(In(src_, "z-large.txt"), TextBlob(1 << 20, 13));
  FaultEnv fault(Env::Platform());
  fault.FailReadsAfter(40000 + 300000);  // inside the large file, after some of it is written
  ScopedEnv scoped(fault);
  EngineCommand cmd(zip_);
  cmd.Spec(In(src_, "*.txt"));
  EngineTuning tuning;
  tuning.StreamThreshold = 100000;
  tuning.PieceSize = 64 << 10;
  ASSERT_EQ(cmd.Run(tuning), 2) << cmd.Messages();
  EXPECT_NE(cmd.Messages().find("z-large.txt"), std::string::npos) << cmd.Messages();
  EXPECT_EQ(ReadersReject(zip_), "");
  std::vector<std::string> names;
  for (const PyEntry& e : ListWithPython(zip_)) names.push_back(EntryFileName(e.Name));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

}  // namespace
}  // namespace dravello::zipengine::test
