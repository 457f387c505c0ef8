// The ziptool driver, run as a program.
#include <gtest/gtest.h>

#include "ZipBuilder.h"
#include "ZipTestSupport.h"

namespace dravello {
namespace {

using namespace ziptest;

#ifdef _WIN32
const char* const kExe = ".exe";
#else
const char* const kExe = "";
#endif

std::string ZipTool(const std::string& args, int* status) {
  return Capture(ShellQuote(std::string(DRAVELLO_BIN_DIR) + PathDelim + "ziptool" + kExe) + " " + args + " 2>" +
                     testing::kNullDevice,
                 status);
}

std::string Q(const std::string& s) { return ShellQuote(s); }

TEST(ZipToolTest, ListPrintsStateAndEntries) {
  TempDir dir;
  ZipBuilder b;
  BuildEntry dos = Entry("\x9A" "ber.txt", "hello");
  dos.host = 0;
  BuildEntry enc = Entry("docs/secret.txt", "s");
  enc.flags = 1;
  b.entries = {dos, Entry("docs/", ""), enc};
  b.comment = "the comment";
  WriteBytes(dir / "a.zip", b.Build());
  int status = -1;
  std::string out = ZipTool("list " + Q(dir / "a.zip"), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "ErrCode: 0\n"
            "Message: \n"
            "ArchiveComment: the comment\n"
            "PrefixSize: 0\n"
            "SkippedDirCount: 1\n"
            "DirOffsetMismatch: False\n"
            "entry 1\t\xC3\x9C" "ber.txt\t5\t5\t0\t3610A686\t0000\t0\tFalse\n"
            "entry 3\t" + Native("docs/secret.txt") + "\t1\t1\t0\t" +
                Format("%.8x", {static_cast<int64_t>(Crc32("s"))}) + "\t0001\t3\tTrue\n");

  out = ZipTool("list " + Q(dir / "a.zip") + " --dir-entries --codepage none", &status);
  EXPECT_NE(out.find("entry 1\t\x9A" "ber.txt\t"), std::string::npos) << out;
  EXPECT_NE(out.find("entry 2\t" + Native("docs/") + "\t0\t0\t"), std::string::npos) << out;
  EXPECT_NE(out.find("SkippedDirCount: 0\n"), std::string::npos) << out;
}

TEST(ZipToolTest, ListReportsFailuresAndWarnings) {
  TempDir dir;
  WriteBytes(dir / "notes.zip", std::string(64, 'n'));
  int status = -1;
  std::string out = ZipTool("list " + Q(dir / "notes.zip"), &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.substr(0, out.find("ArchiveComment")),
            "message 11036 This archive is not a valid Zip archive\n"
            "ErrCode: 11036\n"
            "Message: This archive is not a valid Zip archive\n");

  ZipBuilder b;
  b.entries = {Entry("a")};
  WriteBytes(dir / "g.zip", b.Build() + "trailing junk");
  out = ZipTool("list " + Q(dir / "g.zip"), &status);
  EXPECT_EQ(status, 0) << "a warning is no failure";
  EXPECT_NE(out.find("message 0 Warning - Garbage at the end of the zipfile!\nErrCode: 10204\n"), std::string::npos)
      << out;

  WriteBytes(dir / "2004-03-15 14-30.zip", std::string(64, 'n'));
  out = ZipTool("list " + Q(dir / "2004-03-15 14-30.zip"), &status);
  EXPECT_NE(out.find("Message: This is the -30th disk in a backup set,\\nplease insert the last disk of this set\n"),
            std::string::npos)
      << out;
}

TEST(ZipToolTest, AddDrivesTheEngineUnattended) {
  TempDir dir;
  WriteBytes(dir / "specs.txt", "/data/one\n\n/data/two\n");
  int status = -1;
  std::string out =
      ZipTool("add " + Q(dir / "out.zip") + " --engine-dir " + Q(FakeEngineDir("good")) + " --specs-from " + Q(dir / "specs.txt") +
                  " /data/three",
              &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "ErrCode: 0\nMessage: \nAddedCount: 0\n");

  out = ZipTool("add " + Q(dir / "out.zip") + " --engine-dir " + Q(FakeEngineDir("v171")) + " /data/one", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("message 0 Attempted to load old ZipEngine from ", 0), 0u) << out;
  EXPECT_NE(out.find("ErrCode: 10605\n"), std::string::npos) << out;

  out = ZipTool("add " + Q(dir / "out.zip") + " --engine-dir " + Q(FakeEngineDir("good")), &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "message 0 Error - no files to zip!\nErrCode: 10301\nMessage: Error - no files to zip!\nAddedCount: 0\n");

  ZipTool("add x.zip --level", &status);
  EXPECT_EQ(status, 2);
  ZipTool("list x.zip --codepage ebcdic", &status);
  EXPECT_EQ(status, 2);
  ZipTool("extract x.zip", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace dravello
