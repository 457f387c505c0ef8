// The directory reader: archives from other tools, crafted archives, and damaged ones.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <random>
#include <set>

#include "tests/support/CpuTime.h"
#include "ZipBuilder.h"
#include "ZipTestSupport.h"
#include "tests/support/FaultEnv.h"
#include "ui/Graphics.h"
#include "zip/ZipArchiver.h"

namespace dravello {
namespace {

using namespace ziptest;

class ZipListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    z.SetUi(&ui);
    z.SetUnattended(true);
    RecordMessages(z, messages);
    z.OnDirUpdate = [this](TObject*) { ++dirUpdates; };
    z.OnNewName = [this](TObject*, int32_t seq, const ZipDirEntry& e) { seqs.push_back({seq, e.EntryName}); };
  }
  // Lists `path` from a clean slate.
  void ListFile(const std::string& path) {
    messages.clear();
    seqs.clear();
    dirUpdates = 0;
    z.SetZipFileName(path);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : z.ZipContents()) names.push_back(e->EntryName);
    return names;
  }
  // What a failed listing leaves behind.
  void ExpectFailed(int32_t code) {
    EXPECT_EQ(z.ErrCode(), code) << z.Message();
    EXPECT_EQ(z.ZipFileName(), "");
    EXPECT_EQ(z.PrefixSize(), 0);
    EXPECT_EQ(dirUpdates, 1);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteBytes(dir / name, bytes);
    return dir / name;
  }

  TempDir dir;
  RecordingUi ui;
  TZipArchiver z{nullptr};
  std::vector<std::string> messages;
  std::vector<std::pair<int32_t, std::string>> seqs;
  int dirUpdates = 0;
};

std::string P(const std::string& slashed) {
  std::string s = slashed;
  std::replace(s.begin(), s.end(), '/', PathDelim);
  return s;
}

// ---- Ordinary archives ------------------------------------------------------------------------

TEST_F(ZipListTest, MissingFileGivesAnEmptyDirectoryQuietly) {
  ListFile(dir / "none.zip");
  EXPECT_EQ(z.Count(), 0);
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_EQ(z.ZipFileName(), dir / "none.zip");
}

TEST_F(ZipListTest, SpecialFilesAreNotOpened) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs";
#else
  ASSERT_EQ(::mkfifo((dir / "fifo.zip").c_str(), 0600), 0);
  ListFile(dir / "fifo.zip");  // would block forever if it were opened
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_EQ(z.Count(), 0);
#endif
}

TEST_F(ZipListTest, EndRecordAloneIsAnEmptyArchive) {
  ListFile(Write("empty.zip", ZipBuilder().Build()));
  EXPECT_EQ(z.Count(), 0);
  EXPECT_EQ(z.PrefixSize(), 0);
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(z.FileLength(), 22);
  EXPECT_EQ(z.EndRecordOffset(), 0);
}

TEST_F(ZipListTest, InfoZipArchiveWithCommentAndDirectories) {
  if (!HaveTool("zip")) GTEST_SKIP() << NoTool("Info-ZIP zip");
  WriteBytes(dir / "src/a.txt", "alpha");
  WriteBytes(dir / "src/sub/b.txt", std::string(5000, 'b'));
  ASSERT_EQ(ziptest::Run(dir / "src", "echo 'a comment' | zip -q -r -z ../t.zip a.txt sub"), 0);
  ListFile(dir / "t.zip");
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(z.ArchiveComment(), "a comment");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", P("sub/b.txt")}));
  EXPECT_EQ(z.SkippedDirCount(), 1) << "the entry sub/ itself";
  EXPECT_EQ(seqs, (std::vector<std::pair<int32_t, std::string>>{{1, "a.txt"}, {3, P("sub/b.txt")}}));
  EXPECT_EQ(z.PrefixSize(), 0);
  EXPECT_FALSE(z.DirOffsetMismatch());
  const ZipDirEntry& b = *z.ZipContents()[1];
  EXPECT_EQ(b.UnpackedSize, 5000u);
  EXPECT_EQ(b.Method, 8);
  EXPECT_LT(b.PackedSize, 5000u);
  EXPECT_EQ(b.Crc, Crc32(std::string(5000, 'b')));
  EXPECT_EQ(b.NameLength, 9);
  EXPECT_FALSE(b.IsEncrypted);
  EXPECT_EQ(z.ArchiveEnd(), z.FileLength());

  z.SetUseDirOnlyEntries(true);
  ListFile(dir / "t.zip");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", P("sub/"), P("sub/b.txt")}));
  EXPECT_EQ(z.SkippedDirCount(), 0);
}

TEST_F(ZipListTest, SevenZipArchive) {
  if (!HaveTool("7zz")) GTEST_SKIP() << NoTool("7-Zip");
  WriteBytes(dir / "src/one.bin", std::string(100000, 'x'));
  WriteBytes(dir / "src/two/three.txt", "three");
  ASSERT_EQ(ziptest::Run(dir / "src", "7zz a -tzip ../s.zip one.bin two"), 0);
  ListFile(dir / "s.zip");
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  std::vector<std::string> names = Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.bin", P("two/three.txt")}));
  for (const auto& e : z.ZipContents()) {
    if (e->EntryName == "one.bin") {
      EXPECT_EQ(e->UnpackedSize64, 100000u);
    }
  }
}

TEST_F(ZipListTest, PythonArchivesIncludingZip64) {
  if (!HaveTool("python3")) GTEST_SKIP() << NoTool("python3");
  const std::string script =
      "import zipfile, sys\n"
      "with zipfile.ZipFile('plain.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    z.writestr('dir/f\\u00e9.txt', 'hello')\n"
      "    z.comment = b'py'\n"
      "with zipfile.ZipFile('forced.zip', 'w') as z:\n"
      "    with z.open('big.bin', 'w', force_zip64=True) as f: f.write(b'x' * 1000)\n"
      "with zipfile.ZipFile('many.zip', 'w') as z:\n"
      "    for i in range(70000): z.writestr('e%05d' % i, b'')\n";
  WriteBytes(dir / "make.py", script);
  ASSERT_EQ(ziptest::Run(dir.Path(), "python3 make.py"), 0);

  ListFile(dir / "plain.zip");
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  EXPECT_EQ(z.ArchiveComment(), "py");
  EXPECT_EQ(Names(), std::vector<std::string>{P("dir/f\xC3\xA9.txt")}) << "UTF-8 names stay UTF-8";

  ListFile(dir / "forced.zip");
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  ASSERT_EQ(z.Count(), 1);
  EXPECT_EQ(z.ZipContents()[0]->UnpackedSize64, 1000u);

  ListFile(dir / "many.zip");
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  ASSERT_EQ(z.Count(), 70000);
  EXPECT_EQ(z.ZipContents()[69999]->EntryName, "e69999");
  EXPECT_FALSE(z.DirOffsetMismatch());
}

// ---- Comments and what follows them -----------------------------------------------------------

TEST_F(ZipListTest, CommentIsCutAtAZeroByte) {
  ZipBuilder b;
  b.entries = {Entry("a")};
  b.comment = std::string("visible\0hidden", 14);
  ListFile(Write("c.zip", b.Build()));
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_EQ(z.ArchiveComment(), "visible");
  EXPECT_EQ(z.Count(), 1);
}

TEST_F(ZipListTest, BytesAfterTheCommentAreGarbageUnlessBlockPadding) {
  ZipBuilder b;
  b.entries = {Entry("a", "some data")};
  b.comment = "note";
  const std::string archive = b.Build();
  auto padTo512 = [&](char fill, size_t extraBlocks) {
    size_t size = (archive.size() / 512 + 1 + extraBlocks) * 512;
    return archive + std::string(size - archive.size(), fill);
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool warned;
  };
  for (const Case& t : {Case{"text after the comment", archive + "GARBAGE", true},
                        Case{"zeros up to a 512-byte block", padTo512('\0', 0), false},
                        Case{"a whole block of zeros and more", padTo512('\0', 1), true},
                        Case{"non-zero fill up to a block", padTo512('\x1A', 0), true},
                        Case{"zeros, but not to a block", archive + std::string(3, '\0'), true}}) {
    ListFile(Write("g.zip", t.bytes));
    EXPECT_EQ(z.ErrCode(), t.warned ? 10204 : 0) << t.what;
    EXPECT_EQ(messages.size(), t.warned ? 1u : 0u) << t.what;
    EXPECT_EQ(z.Count(), 1) << t.what << ": the listing goes on";
    EXPECT_EQ(z.ArchiveComment(), "note") << t.what;
    EXPECT_EQ(z.ArchiveEnd(), static_cast<int64_t>(archive.size())) << t.what;
    EXPECT_EQ(z.ZipFileName(), dir / "g.zip") << t.what;
  }
  EXPECT_EQ(messages[0], "0|Warning - Garbage at the end of the zipfile!");
}

TEST_F(ZipListTest, CommentHandedToTheNextAdd) {
  FakeEngine engine;
  ZipBuilder b;
  b.entries = {Entry("a")};
  b.comment = "keep me";
  z.SetDLLDirectory(FakeEngineDir("good"));
  ListFile(Write("k.zip", b.Build()));
  z.FSpecArgs()->Add("/x");
  z.Add();
  EXPECT_EQ(engine.Command().comment, "keep me");
}

// ---- Data in front of the archive -------------------------------------------------------------

TEST_F(ZipListTest, PrefixWithAndWithoutAdjustedOffsets) {
  if (!HaveTool("zip")) GTEST_SKIP() << NoTool("Info-ZIP zip");
  WriteBytes(dir / "a.txt", "alpha");
  WriteBytes(dir / "b.txt", "beta");
  WriteBytes(dir / "stub", std::string(1000, 'S'));
  ASSERT_EQ(ziptest::Run(dir.Path(), "zip -q t.zip a.txt b.txt && cat stub t.zip > raw.zip && cp raw.zip adj.zip && zip -q -A adj.zip"), 0);

  ListFile(dir / "raw.zip");
  EXPECT_EQ(z.ErrCode(), 10203);
  EXPECT_EQ(messages, std::vector<std::string>{"0|Warning - Error in zip structure!"});
  EXPECT_TRUE(z.DirOffsetMismatch());
  EXPECT_EQ(z.PrefixSize(), 1000);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));

  ListFile(dir / "adj.zip");
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(z.DirOffsetMismatch());
  EXPECT_EQ(z.PrefixSize(), 1000);
  EXPECT_EQ(z.Count(), 2);
}

TEST_F(ZipListTest, ArchiveWithoutEntriesHasNothingInFront) {
  ZipBuilder b;
  b.comment = "only a comment";
  ListFile(Write("e.zip", b.Build()));
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_EQ(z.PrefixSize(), 0);
  ListFile(Write("pe.zip", std::string(100, 'P') + b.Build()));
  EXPECT_EQ(z.ErrCode(), 10203);
  EXPECT_EQ(z.PrefixSize(), 100);
}

// ---- Names ------------------------------------------------------------------------------------

TEST_F(ZipListTest, OemNamesAreConvertedWhenTheHostAndCodePageSaySo) {
  // "Übersicht.txt" in code page 437, and in UTF-8.
  const std::string oem = "\x9A" "bersicht.txt";
  const std::string utf8 = "\xC3\x9C" "bersicht.txt";
  struct Case {
    const char* what;
    uint8_t host, zipVersion;  // of the "version made by" field
    uint16_t flags;
    CodePageOpts codePage;
    bool converted;
  };
  for (const Case& t : {Case{"MS-DOS host, auto", 0, 20, 0, cpAuto, true},
                        Case{"MS-DOS host, none", 0, 20, 0, cpNone, false},
                        Case{"Unix host, auto", 3, 20, 0, cpAuto, false},
                        Case{"Unix host, OEM", 3, 20, 0, cpOEM, true},
                        Case{"OS/2 HPFS, none", 6, 20, 0, cpNone, true},
                        Case{"NTFS 5.0, none", 11, 50, 0, cpNone, true},
                        Case{"NTFS 2.0, none", 11, 20, 0, cpNone, false},
                        Case{"flagged UTF-8, OEM", 0, 20, 0x0800, cpOEM, false}}) {
    BuildEntry e = Entry(t.flags ? utf8 : oem);
    e.host = t.host;
    e.zipVersion = t.zipVersion;
    e.flags = t.flags;
    e.comment = t.flags ? utf8 : oem;
    ZipBuilder b;
    b.entries = {e};
    z.SetCodePage(t.codePage);
    ListFile(Write("n.zip", b.Build()));
    ASSERT_EQ(z.Count(), 1) << t.what;
    const std::string expected = t.flags ? utf8 : (t.converted ? utf8 : oem);
    EXPECT_EQ(z.ZipContents()[0]->EntryName, expected) << t.what;
    EXPECT_EQ(z.ZipContents()[0]->EntryComment, expected) << t.what;
  }
}

TEST_F(ZipListTest, EntryRecordKeepsTheHeaderFieldsAndExtraField) {
  BuildEntry e = Entry("dir/enc.bin", "12345");
  e.flags = 1;
  e.extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
  ZipBuilder b;
  b.entries = {Entry("first"), e};
  ListFile(Write("x.zip", b.Build()));
  ASSERT_EQ(z.Count(), 2);
  const ZipDirEntry& r = *z.ZipContents()[1];
  EXPECT_EQ(r.EntryName, P("dir/enc.bin"));
  EXPECT_TRUE(r.IsEncrypted);
  EXPECT_EQ(r.ExtraLength, 9);
  ASSERT_EQ(r.ExtraField.size(), 10u) << "one spare byte";
  EXPECT_EQ(std::string(r.ExtraField.begin(), r.ExtraField.end() - 1), e.extra);
  EXPECT_EQ(r.ExtraField.back(), 0);
  EXPECT_EQ(r.ModTime, 0);
  EXPECT_EQ(r.ModDate, 0x21);
  EXPECT_EQ(r.ExternalAttributes, 0x81A40000u);
  EXPECT_EQ(r.LocalHeaderOffset, 30u + 5 + 4);
  EXPECT_EQ(r.UnpackedSize, 5u);
  EXPECT_EQ(r.Crc, Crc32("12345"));
  EXPECT_TRUE(z.ZipContents()[0]->ExtraField.empty());
}

// ---- ZIP64 ------------------------------------------------------------------------------------

TEST_F(ZipListTest, Zip64RecordsSupplyCountsSizesAndOffsets) {
  ZipBuilder b;
  BuildEntry big = Entry("big.bin", "tiny");
  big.zip64 = true;
  big.claimedSize = 5ull << 30;
  BuildEntry small = Entry("small.txt");
  small.zip64 = true;
  b.entries = {big, small};
  b.zip64End = true;
  const std::string archive = b.Build();
  ListFile(Write("z64.zip", archive));
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  ASSERT_EQ(z.Count(), 2);
  EXPECT_EQ(z.ZipContents()[0]->UnpackedSize64, 5ull << 30);
  EXPECT_EQ(z.ZipContents()[0]->UnpackedSize, 0xFFFFFFFFu) << "the stored header field stays as stored";
  EXPECT_EQ(z.ZipContents()[1]->LocalHeaderOffset64, 30u + 7 + 4);
  EXPECT_EQ(z.PrefixSize(), 0);
  EXPECT_FALSE(z.DirOffsetMismatch());

  // Data in front without adjusted offsets: the ZIP64 record is found right before its locator.
  ListFile(Write("z64p.zip", std::string(64, 'P') + archive));
  EXPECT_EQ(z.ErrCode(), 10203);
  EXPECT_EQ(z.Count(), 2);
  EXPECT_EQ(z.PrefixSize(), 64);
}

TEST_F(ZipListTest, SaturatedCountWithoutZip64IsTakenAsItStands) {
  // Exactly 65,535 entries need no ZIP64 records.
  ZipBuilder b;
  for (int i = 0; i < 65535; ++i) b.entries.push_back(Entry("f" + std::to_string(i), ""));
  ListFile(Write("max.zip", b.Build()));
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  EXPECT_EQ(z.Count(), 65535);
}

TEST_F(ZipListTest, HundredThousandEntriesListQuickly) {
  ZipBuilder b;
  for (int i = 0; i < 100000; ++i) b.entries.push_back(Entry("folder/file" + std::to_string(i) + ".txt", ""));
  b.zip64End = true;
  const std::string path = Write("big.zip", b.Build());
  const double start = testing::CpuSeconds();
  ListFile(path);
  const double seconds = testing::CpuSeconds() - start;
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  ASSERT_EQ(z.Count(), 100000);
  EXPECT_EQ(seqs.back().first, 100000);
  EXPECT_EQ(z.ZipContents()[54321]->EntryName, P("folder/file54321.txt"));
  EXPECT_LT(seconds, 1.0);
}

// ---- Files that are not archives --------------------------------------------------------------

TEST_F(ZipListTest, NonArchiveMessagesFollowTheVolumeNumberInTheName) {
  const std::string junk = std::string(300, 'j');
  struct Case {
    const char* name;
    std::string bytes;
    int32_t code;
    const char* text;
  };
  const std::string firstVolume = std::string("PK\x07\x08PK\x03\x04", 8) + junk;
  for (const Case& t :
       {Case{"notes.zip", junk, 11036, "This archive is not a valid Zip archive"},
        Case{"2004-03-15 14-30.zip", junk, 11038,
             "This is the -30th disk in a backup set,\nplease insert the last disk of this set"},
        Case{"03151230.zip", junk, 11038, "This is the 230th disk in a backup set,\nplease insert the last disk of this set"},
        Case{"set000.zip", junk, 11036, "This archive is not a valid Zip archive"},
        Case{"set001.zip", firstVolume, 11037,
             "This is the first disk in a backup set,\nplease insert the last disk of this set"},
        Case{"set004.zip", firstVolume, 11045,
             "This is the first file in a backup set,\nplease choose the last file of this set"}}) {
    ListFile(Write(t.name, t.bytes));
    ExpectFailed(t.code);
    EXPECT_EQ(z.Message(), t.text) << t.name;
    EXPECT_EQ(messages, std::vector<std::string>{std::to_string(t.code) + "|" + t.text}) << t.name;
  }
  // The emptied name makes the next Add stop at once.
  z.FSpecArgs()->Add("/x");
  EXPECT_EQ(z.Add(), 10102);
}

TEST_F(ZipListTest, EmptyAndShortFilesAreUnexpectedFailures) {
  for (const std::string& bytes : {std::string(), std::string("PK\x05\x06", 4), std::string(21, 'x')}) {
    ListFile(Write("e.zip", bytes));
    ExpectFailed(10202);
    EXPECT_EQ(z.Message().rfind("Unknown error in List() function\n", 0), 0u) << z.Message();
    EXPECT_GT(z.Message().size(), StringTableText(10202).size()) << "the failure's own text follows";
  }
}

TEST_F(ZipListTest, FailuresShowAMessageBoxWhenAttended) {
  z.SetUnattended(false);
  ListFile(Write("notes.zip", std::string(100, 'n')));
  EXPECT_EQ(ui.shown, std::vector<std::string>{"This archive is not a valid Zip archive"});
  EXPECT_EQ(ui.cursorChanges, (std::vector<int16_t>{crHourGlass, 0})) << "busy cursor shown and restored";
}

// ---- Damaged and hostile archives -------------------------------------------------------------

TEST_F(ZipListTest, DamagedArchivesEndInTheirOwnFailure) {
  auto two = [] {
    ZipBuilder b;
    b.entries = {Entry("one"), Entry("two")};
    return b;
  };
  const std::string good = two().Build();
  const size_t dirStart = 2 * (30 + 3 + 4);
  struct Case {
    const char* what;
    std::string bytes;
    int32_t code;
    int entriesKept;
  };
  std::vector<Case> cases;
  {
    // A name length that runs past the end of the file.
    std::string s = good;
    s[dirStart + 28] = '\x60';
    s[dirStart + 29] = '\xEA';
    cases.push_back({"name length past the end", s, 11017, 0});
  }
  {
    std::string s = good;
    s[dirStart + 30] = '\xFF';
    s[dirStart + 31] = '\xFF';
    cases.push_back({"extra length past the end", s, 10201, 0});
  }
  {
    std::string s = good;
    s[dirStart + 32] = '\xFF';
    s[dirStart + 33] = '\xFF';
    cases.push_back({"comment length past the end", s, 11022, 0});
  }
  {
    std::string s = good;
    s[dirStart + 1] = 'X';
    cases.push_back({"wrong header signature", s, 11015, 0});
  }
  {
    ZipBuilder b = two();
    b.totalOverride = 5;
    cases.push_back({"more entries than the directory holds", b.Build(), 11013, 2});
  }
  {
    ZipBuilder b = two();
    b.totalOverride = 0xFFFF;
    b.dirSizeOverride = 46 * 2 + 6;
    cases.push_back({"a huge count in a small file", b.Build(), 11013, 2});
  }
  {
    ZipBuilder b = two();
    b.dirSizeOverride = 0x7FFFFFFF;
    cases.push_back({"directory size larger than the file", b.Build(), 10202, 0});
  }
  {
    ZipBuilder b = two();
    b.commentLengthOverride = 500;
    cases.push_back({"comment length past the end", b.Build(), 10202, 0});
  }
  {
    ZipBuilder b = two();
    b.zip64End = true;
    b.locatorOffsetOverride = 1ull << 60;
    b.dirSizeOverride = 0xFFFFFFFFull << 4;
    cases.push_back({"ZIP64 locator outside the file", b.Build(), 10202, 0});
  }
  {
    ZipBuilder b = two();
    b.zip64End = true;
    b.totalOverride = 1ull << 62;
    cases.push_back({"ZIP64 count beyond reason", b.Build(), 11013, 2});
  }
  {
    std::string s = good;
    cases.push_back({"truncated inside the directory", s.substr(0, dirStart + 50) + s.substr(s.size() - 22), 11015, 0});
  }
  for (const Case& t : cases) {
    ListFile(Write("bad.zip", t.bytes));
    EXPECT_EQ(z.ErrCode(), t.code) << t.what << ": " << z.Message();
    EXPECT_EQ(z.ZipFileName(), "") << t.what;
    EXPECT_EQ(z.Count(), t.entriesKept) << t.what << ": entries read before the failure stay";
    EXPECT_EQ(dirUpdates, 1) << t.what;
  }
}

TEST_F(ZipListTest, OffsetsPastTheEndAreOnlyNumbers) {
  ZipBuilder b;
  b.entries = {Entry("a")};
  b.dirOffsetOverride = 0xFFFFFF00u;
  ListFile(Write("o.zip", b.Build()));
  EXPECT_EQ(z.ErrCode(), 10203);
  EXPECT_EQ(z.Count(), 1);
  EXPECT_GE(z.PrefixSize(), 0);
  EXPECT_LE(z.PrefixSize(), z.FileLength());

  BuildEntry e = Entry("b");
  e.zip64 = true;
  e.extra = std::string("\x01\x00\xF0\x00", 4);  // a second ZIP64 block that claims more than there is
  ZipBuilder c;
  c.entries = {e};
  ListFile(Write("o2.zip", c.Build()));
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  EXPECT_EQ(z.Count(), 1);
}

// Every truncation and many random byte changes of a small archive end in a reported outcome:
// no crash, no hang, and never more entries than the archive has.
TEST_F(ZipListTest, TruncatedAndMutatedArchivesNeverEscape) {
  ZipBuilder b;
  BuildEntry big = Entry("big", "xyz");
  big.zip64 = true;
  b.entries = {Entry("one", "1"), big, Entry("dir/")};
  b.comment = "c";
  b.zip64End = true;
  const std::string archive = b.Build();
  const std::set<int32_t> allowed = {0, 10201, 10202, 10203, 10204, 10205, 11013, 11015, 11017, 11022, 11036};
  MemoryFileEnv env(Env::Platform());
  ScopedEnv scoped(env);
  const std::string path = dir / "t.zip";
  for (size_t n = 0; n <= archive.size(); ++n) {
    env.Put(path, archive.substr(0, n));
    ListFile(path);
    EXPECT_TRUE(allowed.count(z.ErrCode())) << n << ": " << z.ErrCode();
    EXPECT_LE(z.Count(), 3);
  }
  std::mt19937 rng(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string s = archive;
    for (int k = 0, changes = 1 + static_cast<int>(rng() % 4); k < changes; ++k)
      s[rng() % s.size()] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
    env.Put(path, s);
    ListFile(path);
    EXPECT_TRUE(allowed.count(z.ErrCode())) << round << ": " << z.ErrCode() << " " << z.Message();
    EXPECT_LE(z.Count(), 3);
    EXPECT_EQ(dirUpdates, 1);
  }
}

TEST_F(ZipListTest, HostHandlerFailureDuringListingIsReported) {
  z.OnNewName = [](TObject*, int32_t, const ZipDirEntry&) { throw Exception("host refuses"); };
  ZipBuilder b;
  b.entries = {Entry("a")};
  ListFile(Write("h.zip", b.Build()));
  EXPECT_EQ(z.ErrCode(), 10202);
  EXPECT_EQ(z.Message(), "Unknown error in List() function\nhost refuses");
  EXPECT_EQ(z.ZipFileName(), "");
}


TEST_F(ZipListTest, SampleArchivesInTheTestData) {
  struct Case {
    const char* file;
    int32_t code;
    std::vector<std::string> names;
    const char* comment;
  };
  const std::vector<Case> cases = {
      {"dos-oem-names.zip", 0, {P("\xC3\xA4rger/\xC3\x9C" "bersicht.txt"), "plain.txt"}, "OEM names"},
      {"zip64-records.zip", 0, {"huge.bin"}, ""},
      {"garbage-after-comment.zip", 10204, {"a.txt"}, "note"},
      {"hostile-name-length.zip", 11017, {}, ""},
      {"hostile-zip64-locator.zip", 10202, {}, ""},
  };
  for (const Case& t : cases) {
    ListFile(std::string(DRAVELLO_TEST_DATA) + Native("/zip/") + t.file);
    EXPECT_EQ(z.ErrCode(), t.code) << t.file << ": " << z.Message();
    EXPECT_EQ(Names(), t.names) << t.file;
    EXPECT_EQ(z.ArchiveComment(), t.comment) << t.file;
  }
  ListFile(std::string(DRAVELLO_TEST_DATA) + Native("/zip/zip64-records.zip"));
  ASSERT_EQ(z.Count(), 1);
  EXPECT_EQ(z.ZipContents()[0]->UnpackedSize64, 6000000000ull);
}

TEST_F(ZipListTest, UnreadableFilesAndReadErrors) {
  ZipBuilder b;
  b.entries = {Entry("a"), Entry("b")};
  const std::string path = Write("r.zip", b.Build());
  {
    FaultEnv env(Env::Platform());
    env.FailWhen([](const std::string& op, const std::string&) { return op == "open"; });
    ScopedEnv scoped(env);
    ListFile(path);
    ExpectFailed(11001);
    EXPECT_EQ(z.Message(), "Input file does not exist");
  }
  {
    FaultEnv env(Env::Platform());
    env.FailReadsAfter(30);
    ScopedEnv scoped(env);
    ListFile(path);
    ExpectFailed(10202);
    EXPECT_EQ(z.Message().rfind("Unknown error in List() function\n", 0), 0u);
  }
}

TEST_F(ZipListTest, MemoryShortageInsideTheListingIsReported) {
  z.OnNewName = [](TObject*, int32_t, const ZipDirEntry&) { throw std::bad_alloc(); };
  ZipBuilder b;
  b.entries = {Entry("a")};
  ListFile(Write("m.zip", b.Build()));
  ExpectFailed(10103);
  EXPECT_EQ(z.Message(), "Requested memory not available");
}

TEST_F(ZipListTest, DriveFactsOnThisPlatform) {
  ZipBuilder b;
  b.entries = {Entry("a")};
  Write("d.zip", b.Build());
  const fs::path old = fs::current_path();
  fs::current_path(FsPath(dir.Path()));
  ListFile("d.zip");  // a relative name
  fs::current_path(old);
  EXPECT_EQ(z.ErrCode(), 0) << z.Message();
  EXPECT_EQ(z.Count(), 1);
  EXPECT_EQ(z.VolumeFileName(), "d.zip");
#ifdef _WIN32
  EXPECT_EQ(z.DriveRoot(), dir.Path().substr(0, 3)) << "the drive of the current folder, as in \"C:\\\"";
#else
  EXPECT_EQ(z.DriveRoot(), std::string(1, PathDelim));
#endif
  EXPECT_TRUE(z.OnHardDisk());
  EXPECT_EQ(z.VolumeLabel(), "");
  EXPECT_FALSE(z.MultiVolume());
  EXPECT_EQ(z.LastVolume(), 0);
}

TEST(ZipExpandFileName, AbsoluteFormsAndDotSegments) {
  Env& env = Env::Platform();
  const std::string cwd = Utf8Of(fs::current_path());
#ifdef _WIN32
  const std::string root = "C:";  // absolute paths carry their drive on Windows
#else
  const std::string root;
#endif
  EXPECT_EQ(env.ExpandFileName(root + Native("/a/b/../c/./d")), root + Native("/a/c/d"));
  EXPECT_EQ(env.ExpandFileName(root + Native("/a//b/")), root + Native("/a/b/"));
  EXPECT_EQ(env.ExpandFileName(root + Native("/../..")), root + Native("/"));
  EXPECT_EQ(env.ExpandFileName(Native("x/y")), cwd + Native("/x/y"));
  EXPECT_EQ(env.ExpandFileName(""), cwd);
  EXPECT_EQ(env.ExpandFileName(Native("./sub/../z.zip")), cwd + Native("/z.zip"));
}

}  // namespace
}  // namespace dravello
