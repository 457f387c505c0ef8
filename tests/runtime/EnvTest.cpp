#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "runtime/DateTime.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "tests/runtime/TestFiles.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

using testing::ModeOf;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class PosixEnvTest : public ::testing::Test {
 protected:
  TempDir dir;
  Env& env = Env::Platform();
};

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

void MakeFifo(const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }

// ---- Stat and listing -----------------------------------------------------------------------

TEST_F(PosixEnvTest, StatTellsKindsAndFollowsLinks) {
  WriteBytes(dir / "f", "12345");
  fs::create_directory(dir / "d");
  fs::create_symlink(dir / "f", dir / "lf");
  fs::create_symlink(dir / "d", dir / "ld");
  fs::create_symlink(dir / "gone", dir / "dangling");
  MakeFifo(dir / "p");
  struct Case {
    const char* name;
    FileKind kind;
    bool symlink;
  } cases[] = {
      {"f", FileKind::Regular, false},   {"d", FileKind::Directory, false}, {"lf", FileKind::Regular, true},
      {"ld", FileKind::Directory, true}, {"dangling", FileKind::Missing, true}, {"p", FileKind::Other, false},
      {"missing", FileKind::Missing, false},
  };
  for (const Case& c : cases) {
    FileStat st = env.Stat(dir / c.name);
    EXPECT_EQ(st.Kind, c.kind) << c.name;
    EXPECT_EQ(st.IsSymlink, c.symlink) << c.name;
  }
  EXPECT_EQ(env.Stat(dir / "lf").Size, 5);
  EXPECT_TRUE(env.FileExists(dir / "lf"));
  EXPECT_FALSE(env.FileExists(dir / "d"));
  EXPECT_FALSE(env.FileExists(dir / "p"));
  EXPECT_TRUE(env.DirectoryExists(dir / "ld"));
  EXPECT_FALSE(env.DirectoryExists(dir / "f"));
  EXPECT_FALSE(env.Stat(dir / "dangling").Exists());
}

TEST_F(PosixEnvTest, StatReportsSizeTimeAndPermissions) {
  WriteBytes(dir / "f", std::string(1000, 'x'));
  ::chmod((dir / "f").c_str(), 0640);
  const int64_t times[] = {1700000000123456789LL, 0, -315619200000000000LL /* 1960 */, 1LL};
  for (int64_t t : times) {
    env.SetFileTime(dir / "f", t);
    FileStat st = env.Stat(dir / "f");
    EXPECT_EQ(st.MTimeNs, t);
    EXPECT_EQ(st.Size, 1000);
    EXPECT_EQ(st.Mode, 0640u);
  }
  EXPECT_THROW(env.SetFileTime(dir / "missing", 0), EOSError);
}

TEST_F(PosixEnvTest, ListDirectoryNamesEveryEntryWithItsKind) {
  WriteBytes(dir / "file.txt", "x");
  WriteBytes(dir / ".hidden", "x");
  fs::create_directory(dir / "sub");
  fs::create_symlink(dir / "sub", dir / "link-to-dir");
  fs::create_symlink(dir / "file.txt", dir / "link-to-file");
  fs::create_symlink(dir / "gone", dir / "dangling");
  MakeFifo(dir / "fifo");
  std::vector<DirEntry> entries = env.ListDirectory(dir.Path());
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; });
  struct Expected {
    const char* name;
    FileKind kind;
    bool symlink;
  } expected[] = {
      {".hidden", FileKind::Regular, false},     {"dangling", FileKind::Missing, true},
      {"fifo", FileKind::Other, false},          {"file.txt", FileKind::Regular, false},
      {"link-to-dir", FileKind::Directory, true}, {"link-to-file", FileKind::Regular, true},
      {"sub", FileKind::Directory, false},
  };
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t k = 0; k < entries.size(); ++k) {
    EXPECT_EQ(entries[k].Name, expected[k].name);
    EXPECT_EQ(entries[k].Kind, expected[k].kind) << expected[k].name;
    EXPECT_EQ(entries[k].IsSymlink, expected[k].symlink) << expected[k].name;
  }
  // Without a trailing delimiter the same.
  EXPECT_EQ(env.ListDirectory(ExcludeTrailingPathDelimiter(dir.Path())).size(), std::size(expected));
}

TEST_F(PosixEnvTest, ListDirectoryOfNothingIsEmpty) {
  EXPECT_TRUE(env.ListDirectory(dir / "missing").empty());
  EXPECT_TRUE(env.ListDirectory(dir / "missing/deeper/").empty());
  fs::create_directory(dir / "empty");
  EXPECT_TRUE(env.ListDirectory(dir / "empty").empty());
}

TEST_F(PosixEnvTest, ListDirectoryRaisesWhenTheFolderCannotBeRead) {
  fs::create_directory(dir / "locked");
  WriteBytes(dir / "locked/secret", "x");
  ::chmod((dir / "locked").c_str(), 0);
  std::string locked = dir / "locked";
  std::string outcome = testing::RunAsOrdinaryUser(dir.Path(), [&]() -> std::string {
    try {
      Env::Platform().ListDirectory(locked);
      return "no exception";
    } catch (const EOSError& e) {
      return e.ErrorCode() == EACCES ? "" : "error code " + std::to_string(e.ErrorCode());
    }
  });
  EXPECT_EQ(outcome, "");
}

// ---- Directories, deleting and renaming ---------------------------------------------------------

TEST_F(PosixEnvTest, ForceDirectoriesCreatesEveryMissingParent) {
  env.ForceDirectories(dir / "a/b/c/");
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  env.ForceDirectories(dir / "a/b/c");  // already there: nothing happens
  env.ForceDirectories(dir / "a/x");
  EXPECT_TRUE(fs::is_directory(dir / "a/x"));
  env.ForceDirectories(dir / "a//y//z");
  EXPECT_TRUE(fs::is_directory(dir / "a/y/z"));
  env.ForceDirectories("");

  WriteBytes(dir / "file", "x");
  EXPECT_THROW(env.ForceDirectories(dir / "file/sub"), EOSError);
  EXPECT_THROW(env.ForceDirectories(dir / "file"), EOSError);
}

TEST_F(PosixEnvTest, ForceDirectoriesReportsTheFailingLevel) {
  FaultEnv faulty(env);
  faulty.FailWhen([](const std::string& op, const std::string& path) { return op == "mkdir" && ExtractFileName(path) == "b"; });
  EXPECT_THROW(faulty.ForceDirectories(dir / "a/b/c"), EOSError);
  EXPECT_TRUE(fs::is_directory(dir / "a"));
  EXPECT_FALSE(fs::exists(dir / "a/b"));
}

TEST_F(PosixEnvTest, CreateRemoveDeleteRename) {
  env.CreateDir(dir / "d");
  try {
    env.CreateDir(dir / "d");
    ADD_FAILURE() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), EEXIST);
  }
  EXPECT_THROW(env.CreateDir(dir / "x/y"), EOSError);
  env.RemoveDir(dir / "d");
  EXPECT_FALSE(fs::exists(dir / "d"));
  EXPECT_THROW(env.RemoveDir(dir / "d"), EOSError);

  WriteBytes(dir / "a", "new");
  WriteBytes(dir / "b", "old");
  env.RenameFile(dir / "a", dir / "b");
  EXPECT_EQ(ReadBytes(dir / "b"), "new");
  EXPECT_FALSE(fs::exists(dir / "a"));
  try {
    env.RenameFile(dir / "a", dir / "c");
    ADD_FAILURE() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_NE(e.Message().find(dir / "a"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(dir / "c"), std::string::npos) << e.Message();
  }
  env.DeleteFile(dir / "b");
  EXPECT_FALSE(fs::exists(dir / "b"));
  EXPECT_THROW(env.DeleteFile(dir / "b"), EOSError);
}

// ---- Reading and writing ----------------------------------------------------------------------

TEST_F(PosixEnvTest, ReadersAndWriters) {
  std::string data = RandomBytes(200000, 1);
  {
    auto out = env.NewWritableFile(dir / "f");
    out->Append(data.substr(0, 1000));
    out->Append(data.substr(1000));
    out->Sync();
    out->Close();
  }
  EXPECT_EQ(ReadBytes(dir / "f"), data);
  EXPECT_EQ(ReadFileToString(env, dir / "f"), data);

  auto random = env.NewRandomAccessFile(dir / "f");
  EXPECT_EQ(random->Size(), 200000);
  char buf[16];
  ASSERT_EQ(random->ReadAt(199990, buf, sizeof buf), 10u);
  EXPECT_EQ(std::string(buf, 10), data.substr(199990));
  ASSERT_EQ(random->ReadAt(5, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), data.substr(5, 4));
  EXPECT_EQ(random->ReadAt(300000, buf, 4), 0u);

  {
    auto out = env.NewAppendableFile(dir / "f");
    out->Append(std::string("tail"));
    out->Close();
  }
  EXPECT_EQ(ReadBytes(dir / "f"), data + "tail");
  {
    auto out = env.NewWritableFile(dir / "f");  // truncates
    out->Append(std::string("short"));
  }  // the destructor closes
  EXPECT_EQ(ReadBytes(dir / "f"), "short");

  EXPECT_THROW(env.NewAppendableFile(dir / "missing"), EInOutError);
  EXPECT_THROW(env.NewWritableFile(dir / "no/such/dir"), EInOutError);
  try {
    env.NewSequentialFile(dir / "missing");
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  fs::create_directory(dir / "d");
  EXPECT_THROW(env.NewSequentialFile(dir / "d"), EInOutError);
  EXPECT_THROW(env.NewRandomAccessFile(dir / "d"), EInOutError);
}

// Runs `open` on another thread; a FIFO must be refused at once, never waited on.
void ExpectRefusedWithoutBlocking(const std::string& fifo, const std::function<void()>& open) {
  std::promise<std::string> result;
  std::future<std::string> done = result.get_future();
  std::thread worker([&] {
    try {
      open();
      result.set_value("opened");
    } catch (const EInOutError&) {
      result.set_value("refused");
    } catch (const std::exception& e) {
      result.set_value(std::string("other failure: ") + e.what());
    }
  });
  if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Release the blocked open by connecting a writer, so the test can end.
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    worker.join();
    if (fd >= 0) ::close(fd);
    FAIL() << "opening the FIFO blocked";
  }
  worker.join();
  EXPECT_EQ(done.get(), "refused");
}

TEST_F(PosixEnvTest, FifosAreNeverOpened) {
  MakeFifo(dir / "fifo");
  WriteBytes(dir / "dst", "keep");
  std::string fifo = dir / "fifo";
  ExpectRefusedWithoutBlocking(fifo, [&] { env.NewSequentialFile(fifo); });
  ExpectRefusedWithoutBlocking(fifo, [&] { env.NewRandomAccessFile(fifo); });
  ExpectRefusedWithoutBlocking(fifo, [&] { env.CopyFileContents(fifo, dir / "dst"); });
  ExpectRefusedWithoutBlocking(fifo, [&] { ReadFileToString(env, fifo); });
  EXPECT_EQ(ReadBytes(dir / "dst"), "keep");  // refused before the target was touched
}

TEST_F(PosixEnvTest, CreateTempFileBesideKeepsTheTargetsPermissions) {
  WriteBytes(dir / "settings.ini", "old");
  ::chmod((dir / "settings.ini").c_str(), 0640);
  std::unique_ptr<WritableFile> file;
  std::string temp = env.CreateTempFileBeside(dir / "settings.ini", &file);
  EXPECT_EQ(ExtractFilePath(temp), dir.Path());
  EXPECT_NE(temp, dir / "settings.ini");
  EXPECT_EQ(ModeOf(temp), 0640u);
  file->Append(std::string("new"));
  file->Close();
  EXPECT_EQ(ReadBytes(temp), "new");
  EXPECT_EQ(ReadBytes(dir / "settings.ini"), "old");

  std::unique_ptr<WritableFile> second;
  std::string temp2 = env.CreateTempFileBeside(dir / "settings.ini", &second);
  EXPECT_NE(temp2, temp);

  // Without a target, the process's default permissions.
  mode_t mask = ::umask(022);
  ::umask(mask);
  std::unique_ptr<WritableFile> third;
  std::string temp3 = env.CreateTempFileBeside(dir / "new.ini", &third);
  EXPECT_EQ(ModeOf(temp3), 0666u & ~static_cast<unsigned>(mask));
}

TEST_F(PosixEnvTest, WriteFileAtomicallyReplacesAndKeepsPermissions) {
  WriteBytes(dir / "a.ini", "old content");
  ::chmod((dir / "a.ini").c_str(), 0600);
  WriteFileAtomically(env, dir / "a.ini", "new content\r\n");
  EXPECT_EQ(ReadBytes(dir / "a.ini"), "new content\r\n");
  EXPECT_EQ(ModeOf(dir / "a.ini"), 0600u);
  WriteFileAtomically(env, dir / "b.ini", "");
  EXPECT_EQ(ReadBytes(dir / "b.ini"), "");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.ini", "b.ini"}));
}

TEST_F(PosixEnvTest, WriteFileAtomicallyLeavesTheOldFileOnAnyFailure) {
  const std::string data = RandomBytes(300000, 2);
  struct Fault {
    const char* name;
    std::function<void(FaultEnv&)> arm;
  } faults[] = {
      {"no space at once", [](FaultEnv& f) { f.FailWritesAfter(0); }},
      {"no space after 5 bytes", [](FaultEnv& f) { f.FailWritesAfter(5); }},
      {"no space near the end", [](FaultEnv& f) { f.FailWritesAfter(299999); }},
      {"sync fails", [](FaultEnv& f) { f.FailSync(true); }},
      {"rename refused", [](FaultEnv& f) { f.FailWhen([](const std::string& op, const std::string&) { return op == "rename"; }); }},
      {"temporary file refused", [](FaultEnv& f) { f.FailWhen([](const std::string& op, const std::string&) { return op == "create"; }); }},
  };
  for (const Fault& fault : faults) {
    for (bool existed : {true, false}) {
      TempDir d;
      if (existed) {
        WriteBytes(d / "a.ini", "old content");
        ::chmod((d / "a.ini").c_str(), 0640);
      }
      FaultEnv faulty(Env::Platform());
      fault.arm(faulty);
      EXPECT_ANY_THROW(WriteFileAtomically(faulty, d / "a.ini", data)) << fault.name;
      if (existed) {
        EXPECT_EQ(ReadBytes(d / "a.ini"), "old content") << fault.name;
        EXPECT_EQ(ModeOf(d / "a.ini"), 0640u) << fault.name;
        EXPECT_EQ(d.Names(), std::vector<std::string>{"a.ini"}) << fault.name;
      } else {
        EXPECT_TRUE(d.Names().empty()) << fault.name;
      }
    }
  }
}

// ---- Copying ----------------------------------------------------------------------------------

TEST_F(PosixEnvTest, CopyFileContentsCopiesExactBytesAndReportsTheSourceBeforeTheCopy) {
  const size_t sizes[] = {0, 1, 4096, (1u << 20) + 17, 3u << 20};
  for (size_t size : sizes) {
    std::string data = RandomBytes(size, static_cast<unsigned>(size));
    WriteBytes(dir / "src", data);
    env.SetFileTime(dir / "src", 1234567890123456789LL);
    WriteBytes(dir / "dst", std::string(5000, 'o'));  // longer than some sources: must be truncated
    FileStat before = env.Stat(dir / "src");
    FileStat reported = env.CopyFileContents(dir / "src", dir / "dst");
    EXPECT_EQ(ReadBytes(dir / "dst"), data) << size;
    EXPECT_EQ(reported.Size, static_cast<int64_t>(size));
    EXPECT_EQ(reported.MTimeNs, 1234567890123456789LL);
    EXPECT_TRUE(reported.SameContentStamp(before));
    EXPECT_EQ(reported.Kind, FileKind::Regular);
  }
}

TEST_F(PosixEnvTest, CopyFileContentsCreatesAMissingTargetAndRefusesAMissingSource) {
  WriteBytes(dir / "src", "abc");
  env.CopyFileContents(dir / "src", dir / "new");
  EXPECT_EQ(ReadBytes(dir / "new"), "abc");
  EXPECT_THROW(env.CopyFileContents(dir / "missing", dir / "new"), EInOutError);
  EXPECT_EQ(ReadBytes(dir / "new"), "abc");
  EXPECT_THROW(env.CopyFileContents(dir / "src", dir / "no/such/dir"), EInOutError);
}

TEST_F(PosixEnvTest, CopyFileContentsOntoItselfLosesNothing) {
  WriteBytes(dir / "a", "precious");
  ::link((dir / "a").c_str(), (dir / "hardlink").c_str());
  fs::create_symlink(dir / "a", dir / "symlink");
  for (const char* target : {"a", "hardlink", "symlink"}) {
    EXPECT_THROW(env.CopyFileContents(dir / "a", dir / target), EInOutError) << target;
    EXPECT_EQ(ReadBytes(dir / "a"), "precious") << target;
  }
}

TEST_F(PosixEnvTest, PortableCopyRunsThroughTheWrappersFiles) {
  // FaultEnv does not forward CopyFileContents: its faults apply to copies too.
  std::string data = RandomBytes(100000, 3);
  WriteBytes(dir / "src", data);
  FaultEnv faulty(env);
  FileStat reported = faulty.CopyFileContents(dir / "src", dir / "dst");
  EXPECT_EQ(ReadBytes(dir / "dst"), data);
  EXPECT_EQ(reported.Size, 100000);
  faulty.FailWritesAfter(10);
  EXPECT_THROW(faulty.CopyFileContents(dir / "src", dir / "dst2"), EInOutError);
}

// ---- Ages and the rest ------------------------------------------------------------------------

TEST_F(PosixEnvTest, FileAgeIsClampedIntoTheDosRange) {
  WriteBytes(dir / "f", "x");
  env.SetFileTime(dir / "f", 0);  // 1970-01-01 UTC: 1969 or 1970 in local time
  EXPECT_EQ(env.FileAge(dir / "f"), 0x00210000);
  env.SetFileTime(dir / "f", 7258118400LL * 1000000000);  // 2200-01-01 UTC
  EXPECT_EQ(env.FileAge(dir / "f"), DateTimeToFileDate({2107, 12, 31, 23, 59, 58}));
  env.SetFileTime(dir / "f", 1086000000LL * 1000000000);  // mid 2004
  EXPECT_EQ(env.FileAge(dir / "f"), DateTimeToFileDate(env.LocalTimeOf(1086000000LL * 1000000000)));
  EXPECT_EQ(FileDateToDateTime(env.FileAge(dir / "f")).Year, 2004);
  EXPECT_EQ(env.FileAge(dir / "missing"), -1);
  fs::create_directory(dir / "d");
  EXPECT_EQ(env.FileAge(dir / "d"), -1);
}

TEST_F(PosixEnvTest, LocalTimeOfKeepsMillisecondsAndHandlesTimesBefore1970) {
  TDateTimeParts a = env.LocalTimeOf(1086000000LL * 1000000000 + 987654321);
  EXPECT_EQ(a.Millisecond, 987);
  TDateTimeParts b = env.LocalTimeOf(-1);  // one nanosecond before 1970 UTC
  EXPECT_EQ(b.Millisecond, 999);
  EXPECT_EQ(b.Second, 59);
  EXPECT_EQ(env.LocalTimeOf(INT64_MAX).Year, 2262);  // the ends of the range still convert
  EXPECT_EQ(env.LocalTimeOf(INT64_MIN).Year, 1677);
}

TEST_F(PosixEnvTest, DriveProgramAndLibraries) {
  DriveInfo drive = env.GetDriveInfo(dir.Path());
  EXPECT_TRUE(drive.Fixed);
  EXPECT_GT(drive.FreeBytes, 0);
  EXPECT_EQ(drive.VolumeLabel, "");

  EXPECT_EQ(ExtractFileName(env.ProgramFileName()), "runtime_tests");

  std::string error;
  auto libm = env.OpenLibrary("libm.so.6", &error);
  ASSERT_NE(libm, nullptr) << error;
  EXPECT_NE(libm->Symbol("cos"), nullptr);
  EXPECT_EQ(libm->Symbol("no_such_symbol_here"), nullptr);
  EXPECT_EQ(libm->Path().substr(0, 1), "/");
  EXPECT_NE(libm->Path().find("libm"), std::string::npos);

  EXPECT_EQ(env.OpenLibrary(dir / "ZIPENGINE.DLL", &error), nullptr);
  EXPECT_FALSE(error.empty());
  WriteBytes(dir / "ZIPENGINE.DLL", "not a library");
  EXPECT_EQ(env.OpenLibrary(dir / "ZIPENGINE.DLL", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST_F(PosixEnvTest, OpenAddressHandsTheAddressOverUnchangedAndLeavesNoZombie) {
  // A stand-in for the desktop's handler, found first on the search path.
  fs::create_directory(dir / "bin");
  WriteBytes(dir / "bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out.tmp\" && mv \"$0.out.tmp\" \"$0.out\"\n");
  ::chmod((dir / "bin/xdg-open").c_str(), 0755);
  const char* oldPath = ::getenv("PATH");
  std::string savedPath = oldPath ? oldPath : "";
  ::setenv("PATH", (dir / "bin:" + savedPath).c_str(), 1);
  const std::string address = "https://example.org/a b?x=\"1\"&y='$HOME'`id`;";
  bool opened = env.OpenAddress(address);
  ::setenv("PATH", savedPath.c_str(), 1);
  ASSERT_TRUE(opened);
  std::string out = dir / "bin/xdg-open.out";
  for (int k = 0; k < 500 && !fs::exists(out); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(ReadBytes(out), address);
  int status;
  EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0);  // nothing of ours left to reap

  ::setenv("PATH", (dir / "empty").c_str(), 1);
  EXPECT_FALSE(env.OpenAddress("https://example.org/"));  // no handler at all
  ::setenv("PATH", savedPath.c_str(), 1);
}

TEST(EnvDefault, ScopedEnvsNestAndRestore) {
  Env& platform = Env::Platform();
  EXPECT_EQ(&Env::Default(), &platform);
  FaultEnv outer(platform), inner(platform);
  {
    ScopedEnv a(outer);
    EXPECT_EQ(&Env::Default(), &outer);
    {
      ScopedEnv b(inner);
      EXPECT_EQ(&Env::Default(), &inner);
    }
    EXPECT_EQ(&Env::Default(), &outer);
  }
  EXPECT_EQ(&Env::Default(), &platform);
}

}  // namespace
}  // namespace dravello
