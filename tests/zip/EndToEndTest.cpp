// Add and List through the real engine library, as the backup tool's pack mode uses them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ZipBuilder.h"
#include "ZipTestSupport.h"
#include "tests/support/ZipReader.h"
#include "zip/ZipArchiver.h"

namespace dravello {
namespace {

using namespace ziptest;

struct Event {
  ProgressType type;
  std::string name;
  uint32_t size;
};

class ZipEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    z.SetUnattended(true);
    z.SetDLLDirectory(DRAVELLO_ENGINE_DIR);
    z.OnProgress = [this](TObject*, ProgressType t, const std::string& n, uint32_t s) { events.push_back({t, n, s}); };
    RecordMessages(z, messages);
  }
  // The entry name the engine gives a file: its path relative to the root.
  static std::string EntryNameOf(const std::string& path) { return PathWithoutDrive(path); }
  // The same name as the zip file stores it, with "/" between the folders.
  static std::string StoredNameOf(const std::string& path) {
    std::string s = PathWithoutDrive(path);
    for (char& c : s)
      if (c == '\\') c = '/';
    return s;
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : z.ZipContents()) names.insert(e->EntryName);
    return names;
  }

  TempDir dir;
  TZipArchiver z{nullptr};
  std::vector<Event> events;
  std::vector<std::string> messages;
};

TEST_F(ZipEndToEndTest, PackModeAddThenReadBackAndExtend) {
#ifdef _WIN32
  const char* const odd = "src/odd name (1).txt";  // "<" and ">" cannot stand in a Windows name
#else
  const char* const odd = "src/odd<name>.txt";
#endif
  const std::vector<std::string> files = {dir / "src/report.txt", dir / "src/.hidden", dir / "src/pic.gif",
                                          dir / "src/deep/er/empty.dat", dir / odd};
  WriteBytes(files[0], std::string(20000, 'r'));
  WriteBytes(files[1], "secret stuff");
  WriteBytes(files[2], std::string(5000, 'g'));
  WriteBytes(files[3], "");
  WriteBytes(files[4], "literal");

  const std::string archive = dir / "out/2004-03-15 14-30.zip";
  fs::create_directories(FsPath(dir / "out"));
  z.SetZipFileName(archive);  // a new name: an empty directory, no message
  EXPECT_EQ(z.ErrCode(), 0);
  z.SetAddOptions(129);
  for (const std::string& f : files) z.FSpecArgs()->Add(f);
  ASSERT_EQ(z.Add(), 0) << z.Message();
  EXPECT_EQ(z.AddedCount(), 5);
  EXPECT_TRUE(messages.empty()) << messages.front();

  // One total before the files, then one beginning per file.
  auto total = std::find_if(events.begin(), events.end(), [](const Event& e) { return e.type == ptTotalFiles; });
  ASSERT_NE(total, events.end());
  EXPECT_EQ(total->size, 5u);
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const Event& e) { return e.type == ptTotalFiles; }), 1);
  auto firstFile = std::find_if(events.begin(), events.end(), [](const Event& e) { return e.type == ptFileBegin; });
  EXPECT_LT(total - events.begin(), firstFile - events.begin());
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const Event& e) { return e.type == ptFileBegin; }), 5);

  // The directory was read back.
  std::set<std::string> expected;
  for (const std::string& f : files) expected.insert(EntryNameOf(f));
  EXPECT_EQ(Names(), expected);
  for (const auto& e : z.ZipContents()) {
    if (e->EntryName == EntryNameOf(files[2])) {
      EXPECT_EQ(e->Method, 0) << "listed suffixes are stored";
    }
    if (e->EntryName == EntryNameOf(files[0])) {
      EXPECT_EQ(e->Method, 8);
      EXPECT_EQ(e->UnpackedSize64, 20000u);
    }
  }
  EXPECT_EQ(z.PrefixSize(), 0);
  if (HaveTool("unzip")) {
    EXPECT_EQ(ziptest::Run(dir.Path(), "unzip -t 'out/2004-03-15 14-30.zip'"), 0);
  }
  // The tests' own reader unpacks every entry and checks its size and CRC-32, on every platform.
  EXPECT_EQ(testing::ZipReaderFaults(archive), "");
  EXPECT_EQ(testing::ZipReaderContent(archive, StoredNameOf(files[0])), std::string(20000, 'r'));

  // A second run extends the same archive.
  WriteBytes(dir / "src/later.txt", "later");
  z.SetZipFileName(archive);
  EXPECT_EQ(z.Count(), 5);
  z.FSpecArgs()->Add(dir / "src/later.txt");
  ASSERT_EQ(z.Add(), 0) << z.Message();
  EXPECT_EQ(z.AddedCount(), 1);
  EXPECT_EQ(z.Count(), 6);
}

TEST_F(ZipEndToEndTest, CommentSurvivesAnAdd) {
  WriteBytes(dir / "a.txt", "alpha");
  WriteBytes(dir / "b.txt", "beta");
  if (HaveTool("zip")) {
    ASSERT_EQ(ziptest::Run(dir.Path(), "echo 'kept comment' | zip -q -z c.zip a.txt"), 0);
  } else {
    // Without Info-ZIP (Windows) the archive is made byte by byte.
    ZipBuilder b;
    b.entries = {Entry("a.txt", "alpha")};
    b.comment = "kept comment";
    WriteBytes(dir / "c.zip", b.Build());
  }
  z.SetZipFileName(dir / "c.zip");
  EXPECT_EQ(z.ArchiveComment(), "kept comment");
  z.SetAddOptions(129);
  z.FSpecArgs()->Add(dir / "b.txt");
  ASSERT_EQ(z.Add(), 0) << z.Message();
  EXPECT_EQ(z.ArchiveComment(), "kept comment");
  EXPECT_EQ(z.Count(), 2);
}

TEST_F(ZipEndToEndTest, NothingToPackWritesNoArchive) {
  z.SetZipFileName(dir / "none.zip");
  z.SetAddOptions(129);
  z.FSpecArgs()->Add(dir / "missing/*.txt");
  z.Add();
  EXPECT_EQ(z.AddedCount(), 0);
  EXPECT_FALSE(fs::exists(FsPath(dir / "none.zip")));
}

TEST_F(ZipEndToEndTest, ZipToolAddsAndLists) {
  WriteBytes(dir / "f1.txt", "one");
  WriteBytes(dir / "f2.txt", "two");
  int status = -1;
#ifdef _WIN32
  const std::string tool = ShellQuote(std::string(DRAVELLO_BIN_DIR) + "\\ziptool.exe") + " ";
#else
  const std::string tool = ShellQuote(std::string(DRAVELLO_BIN_DIR) + "/ziptool") + " ";
#endif
  std::string out = Capture(tool + "add " + ShellQuote(dir / "t.zip") + " --engine-dir " + ShellQuote(DRAVELLO_ENGINE_DIR) + " " +
                                ShellQuote(dir / "f1.txt") + " " + ShellQuote(dir / "f2.txt") + " 2>&1",
                            &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("progress ptTotalFiles 2 "), std::string::npos) << out;
  EXPECT_NE(out.find("progress ptFileBegin 3 "), std::string::npos) << out;
  EXPECT_NE(out.find("ErrCode: 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("AddedCount: 2\n"), std::string::npos) << out;

  out = Capture(tool + "list " + ShellQuote(dir / "t.zip"), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("entry 1\t" + EntryNameOf(dir / "f1.txt") + "\t"), std::string::npos) << out;
  EXPECT_NE(out.find("entry 2\t" + EntryNameOf(dir / "f2.txt") + "\t"), std::string::npos) << out;
}

}  // namespace
}  // namespace dravello
