// The Win32 Env on a real file system (Windows, or Wine in ./test's third pass): long paths,
// drive letters and UNC paths, attributes, names beyond any 8-bit code page, case-insensitive
// names and atomic replacement. Checks that Wine cannot support skip with the reason printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"
#include "runtime/WinPath.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

namespace dravello {
namespace {

using testing::FsPath;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

Env& env() { return Env::Platform(); }

std::string Repeat(const std::string& part, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += part;
  return s;
}

TEST(WindowsText, NamesRoundTripThroughUtf16) {
  const std::vector<std::string> names = {
      "plain.txt", "Grüße an Zoë.txt", "日本語のファイル.doc", "emoji 😀 beyond the BMP.txt", "Ελληνικά", ""};
  for (const std::string& name : names) {
    std::string back;
    EXPECT_TRUE(WideToUtf8(Utf8ToWide(name), &back)) << name;
    EXPECT_EQ(back, name);
  }
  // An unpaired surrogate (NTFS allows it in names) has no UTF-8 form: refused, not replaced.
  std::string out;
  EXPECT_FALSE(WideToUtf8(std::wstring(L"a\xD800z"), &out));
  EXPECT_FALSE(WideToUtf8(std::wstring(L"\xDC01"), &out));
}

TEST(WindowsText, Win32PathsTakeThePrefixOnlyWhenLong) {
  const std::string longTail = Repeat("\\segment-of-twenty-9", 15);  // 300 characters
  struct Case {
    std::string path;
    std::wstring expected;
  } cases[] = {
      {"C:\\Data\\a.doc", L"C:\\Data\\a.doc"},
      {"C:/Data/a.doc", L"C:\\Data\\a.doc"},
      {"\\\\server\\share\\a.doc", L"\\\\server\\share\\a.doc"},
      {"C:\\Data" + longTail, L"\\\\?\\C:\\Data" + Utf8ToWide(longTail)},
      {"C:\\Data\\x\\..\\y" + longTail, L"\\\\?\\C:\\Data\\y" + Utf8ToWide(longTail)},
      {"\\\\server\\share" + longTail, L"\\\\?\\UNC\\server\\share" + Utf8ToWide(longTail)},
      {"\\\\?\\C:\\already", L"\\\\?\\C:\\already"},
      {"\\\\.\\C:", L"\\\\.\\C:"},
  };
  for (const Case& c : cases) EXPECT_EQ(Win32PathOf(c.path), c.expected) << c.path;

  EXPECT_EQ(PathFromWin32(L"\\\\?\\C:\\x\\y"), "C:\\x\\y");
  EXPECT_EQ(PathFromWin32(L"\\\\?\\UNC\\server\\share\\x"), "\\\\server\\share\\x");
  EXPECT_EQ(PathFromWin32(L"C:\\plain"), "C:\\plain");
}

TEST(WindowsPaths, DriveLettersAndUncPathsExpandWithinTheirDrive) {
  struct Case {
    const char* path;
    const char* expanded;
  } cases[] = {
      {"C:\\Data\\..\\Other\\.\\a.doc", "C:\\Other\\a.doc"},
      {"C:\\..\\..\\a.doc", "C:\\a.doc"},
      {"D:\\Backup\\", "D:\\Backup\\"},
      {"\\\\server\\share\\Data\\..\\a.doc", "\\\\server\\share\\a.doc"},
      {"\\\\server\\share\\..\\..\\a.doc", "\\\\server\\share\\a.doc"},
  };
  for (const Case& c : cases) EXPECT_EQ(env().ExpandFileName(c.path), c.expanded) << c.path;
  // The destination mirrors a source without its drive part.
  EXPECT_EQ(PathWithoutDrive("C:\\Data\\a.doc"), "Data\\a.doc");
  EXPECT_EQ(PathWithoutDrive("\\\\server\\share\\Data\\a.doc"), "Data\\a.doc");
}

TEST(WindowsPaths, TheSystemDriveIsAFixedDiskWithFreeSpace) {
  const std::string program = env().ProgramFileName();
  ASSERT_GE(program.size(), 3u);
  EXPECT_EQ(program[1], ':') << program;
  EXPECT_TRUE(env().FileExists(program));
  EXPECT_EQ(ExtractFileExt(program), ".exe");
  const DriveInfo info = env().GetDriveInfo(ExtractFileDrive(program) + "\\");
  EXPECT_TRUE(info.Fixed);
  EXPECT_GT(info.FreeBytes, 0);
  EXPECT_EQ(env().Stat(ExtractFileDrive(program) + "\\").Kind, FileKind::Directory);
  // A drive letter that names nothing is no failure and shows no box.
  EXPECT_FALSE(env().Stat("Q:\\nothing\\here").Exists());
}

TEST(WindowsFiles, PathsLongerThan260CharactersWork) {
  TempDir dir;
  const std::string deep = dir.Path() + "long" + Repeat("\\a-folder-name-of-30-characters", 10);
  env().ForceDirectories(deep);
  ASSERT_TRUE(env().DirectoryExists(deep)) << deep.size();
  const std::string file = deep + "\\file.txt";
  ASSERT_GT(file.size(), 300u);
  WriteFileAtomically(env(), file, "content");
  EXPECT_EQ(ReadFileToString(env(), file), "content");
  EXPECT_EQ(env().Stat(file).Size, 7);
  const std::vector<DirEntry> entries = env().ListDirectory(deep);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, "file.txt");

  const Env::TempCopy copy = env().CopyToTempBeside(file, deep + "\\copy.txt");
  env().RenameFile(copy.TempPath, deep + "\\copy.txt");
  EXPECT_EQ(ReadFileToString(env(), deep + "\\copy.txt"), "content");
  EXPECT_TRUE(env().SetAttributes(deep + "\\copy.txt", faReadOnly | faArchive));
  EXPECT_EQ(env().GetAttributes(deep + "\\copy.txt").value_or(0) & faReadOnly, faReadOnly);
  env().DeleteFile(deep + "\\copy.txt");  // read-only, and still removable by the program
  env().DeleteFile(file);
  env().RemoveDir(deep);
  EXPECT_FALSE(env().Stat(deep).Exists());
}

TEST(WindowsFiles, NamesBeyondAnyCodePageAreListedAndOpenedAsTheyAre) {
  TempDir dir;
  const std::vector<std::string> names = {"Grüße an Zoë.txt", "日本語.doc", "😀.txt", "Ελληνικά.txt"};
  for (const std::string& name : names) WriteFileAtomically(env(), dir / name, name);
  std::vector<std::string> listed;
  for (const DirEntry& e : env().ListDirectory(dir.Path())) {
    EXPECT_EQ(e.Kind, FileKind::Regular) << e.Name;
    listed.push_back(e.Name);
  }
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
  // Seen the same way by the C++ library, which knows nothing of Env.
  EXPECT_EQ(dir.Names(), expected);
  for (const std::string& name : names) EXPECT_EQ(ReadBytes(dir / name), name);
}

TEST(WindowsFiles, NamesCompareWithoutRegardToCase) {
  TempDir dir;
  WriteBytes(dir / "Report.TXT", "r");
  struct Case {
    const char* name;
    bool found;
  } cases[] = {{"Report.TXT", true}, {"report.txt", true}, {"REPORT.TXT", true}, {"Report.TXT.bak", false}};
  for (const Case& c : cases) EXPECT_EQ(env().FileExists(dir / c.name), c.found) << c.name;
  EXPECT_TRUE(FileNamesIgnoreCase);
  // A rename that changes only the case renames.
  env().RenameFile(dir / "Report.TXT", dir / "REPORT.txt");
  if (RunningUnderWine())
    std::printf("[ SKIPPED  ] case-only rename: Wine keeps the old spelling on a case-sensitive file system\n");
  else
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"REPORT.txt"});
  // Letters beyond A to Z fold as the file system folds them.
  WriteBytes(dir / "Äpfel.txt", "a");
  EXPECT_TRUE(env().FileExists(dir / "äPFEL.TXT"));
  EXPECT_TRUE(AnsiSameText("ÄPFEL.TXT", "äpfel.txt"));
  // A stale temporary file is found by its target's name in any case.
  const std::string stale = TempFileNameBeside(dir / "Data.ini", 999999999, 1, 1, env().HostName());
  WriteBytes(stale, "old");
  EXPECT_EQ(env().RemoveStaleTempFiles(dir.Path(), "DATA.INI"), 1);
}

TEST(WindowsFiles, AttributesAreTheFileSystemsOwn) {
  TempDir dir;
  const std::string file = dir / "a.txt";
  WriteBytes(file, "a");
  const bool wine = RunningUnderWine();
  const uint32_t cases[] = {faArchive,
                            faReadOnly | faArchive,
                            faHidden | faArchive,
                            faSysFile | faArchive,
                            faReadOnly | faHidden | faSysFile | faArchive,
                            0,
                            faReadOnly,
                            faHidden | faSysFile};
  for (const uint32_t attrs : cases) {
    EXPECT_TRUE(env().SetAttributes(file, attrs));
    uint32_t got = env().GetAttributes(file).value_or(0xFFFF);
    if (wine && !(attrs & faArchive)) {
      std::printf("[ SKIPPED  ] attributes 0x%x: Wine does not keep a cleared archive attribute\n", attrs);
      got &= ~faArchive;
    }
    EXPECT_EQ(got, attrs) << "attributes 0x" << std::hex << attrs;
    // The read-only bit is the one the C++ library sees too.
    const auto perms = std::filesystem::status(FsPath(file)).permissions();
    EXPECT_EQ((perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none, (attrs & faReadOnly) != 0);
  }
  EXPECT_EQ(env().GetAttributes(dir.Path()).value_or(0) & faDirectory, faDirectory);
  EXPECT_FALSE(env().GetAttributes(dir / "missing").has_value());
  EXPECT_TRUE(env().KeepsArchiveAttribute(file));
}

TEST(WindowsFiles, AFileChangedAfterItWasReadKeepsItsArchiveBit) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine does not keep a cleared archive attribute";
  TempDir dir;
  const std::string file = dir / "a.txt";
  WriteBytes(file, "first");
  const FileStat asRead = env().Stat(file);
  EXPECT_TRUE(env().SetAttributes(file, 0, &asRead));
  EXPECT_EQ(env().GetAttributes(file).value_or(0) & faArchive, 0u);
  env().SetAttributes(file, faArchive);
  WriteBytes(file, "changed later");
  EXPECT_TRUE(env().SetAttributes(file, 0, &asRead));
  EXPECT_EQ(env().GetAttributes(file).value_or(0) & faArchive, faArchive);
}

TEST(WindowsFiles, ReplacementIsAtomicOverReadOnlyHiddenAndOpenTargets) {
  TempDir dir;
  struct Case {
    const char* name;
    uint32_t attributes;
  } cases[] = {{"plain.ini", faArchive}, {"readonly.ini", faReadOnly | faArchive}, {"hidden.ini", faHidden | faArchive}};
  for (const Case& c : cases) {
    const std::string path = dir / c.name;
    WriteBytes(path, "old content");
    env().SetAttributes(path, c.attributes);
    WriteFileAtomically(env(), path, "new");
    EXPECT_EQ(ReadBytes(path), "new") << c.name;
  }
  // With a reader holding the file open the replacement may be refused, but the file is then
  // either all old or all new, and the reader reads the old content whole.
  const std::string path = dir / "open.ini";
  WriteBytes(path, "old content");
  std::unique_ptr<RandomAccessFile> reader = env().NewRandomAccessFile(path);
  bool replaced = true;
  try {
    WriteFileAtomically(env(), path, "new");
  } catch (const EOSError&) {
    replaced = false;
  }
  char buf[16] = {};
  EXPECT_EQ(reader->ReadAt(0, buf, sizeof buf), 11u);
  EXPECT_EQ(std::string(buf, 11), "old content");
  reader.reset();
  EXPECT_EQ(ReadBytes(path), replaced ? "new" : "old content");
  // Nothing but the files themselves is left behind.
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"hidden.ini", "open.ini", "plain.ini", "readonly.ini"}));
  // A failed rename leaves both files as they were.
  WriteBytes(dir / "from", "from");
  EXPECT_THROW(env().RenameFile(dir / "from", dir / "no such folder\\to"), EOSError);
  EXPECT_EQ(ReadBytes(dir / "from"), "from");
}

TEST(WindowsFiles, LastWriteTimesAreKeptAndReadAsLocalDosTimes) {
  TempDir dir;
  const std::string file = dir / "t.txt";
  WriteBytes(file, "t");
  struct Case {
    int64_t ns;
    int64_t expectedNs;  // FILETIME counts in steps of 100 ns
  } cases[] = {{1600000000123456789LL, 1600000000123456700LL}, {946684800000000000LL, 946684800000000000LL},
               {170000000000000000LL, 170000000000000000LL}};
  for (const Case& c : cases) {
    env().SetFileTime(file, c.ns);
    EXPECT_EQ(env().Stat(file).MTimeNs, c.expectedNs);
    EXPECT_EQ(env().FileAge(file), DateTimeToFileDate(env().LocalTimeOf(c.expectedNs)));
  }
  // 1975 lies before MS-DOS time: clamped to its first second, never "no file".
  EXPECT_EQ(env().FileAge(file), DateTimeToFileDate(TDateTimeParts{1980, 1, 1, 0, 0, 0, 0}));
  // A copy keeps the time.
  const Env::TempCopy copy = env().CopyToTempBeside(file, dir / "copy.txt");
  EXPECT_EQ(env().Stat(copy.TempPath).MTimeNs, 170000000000000000LL);
}

TEST(WindowsProcess, ProcessesHostAndLibraries) {
  EXPECT_TRUE(env().ProcessExists(env().ProcessId()));
  EXPECT_FALSE(env().ProcessExists(0));
  EXPECT_FALSE(env().ProcessExists(0xFFFFFFF0LL));
  EXPECT_FALSE(env().HostName().empty());

  std::string error;
  std::unique_ptr<DynamicLibrary> engine = env().OpenLibrary(std::string(DRAVELLO_BIN_DIR) + "\\ZIPENGINE.DLL", &error);
  ASSERT_TRUE(engine) << error;
  EXPECT_NE(engine->Symbol("ZipEngineExec"), nullptr);
  EXPECT_NE(engine->Symbol("GetZipEngineVersion"), nullptr);
  EXPECT_EQ(engine->Symbol("ZipEngineExec@4"), nullptr);
  EXPECT_TRUE(AnsiSameText(ExtractFileName(engine->Path()), "ZIPENGINE.DLL")) << engine->Path();

  EXPECT_TRUE(env().OpenLibrary("kernel32.dll", &error));
  EXPECT_FALSE(env().OpenLibrary(std::string(DRAVELLO_BIN_DIR) + "\\NO-SUCH.DLL", &error));
  EXPECT_NE(error.find("NO-SUCH.DLL"), std::string::npos) << error;
}

}  // namespace
}  // namespace dravello
