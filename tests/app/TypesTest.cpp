#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "app/u_types.h"
#include "runtime/SysUtils.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

// The matching itself is tested with WildcardMatches; here only what this wrapper adds.
TEST(MatchesWildcard, TakesTheNameFirstAndComparesCaseExactly) {
  EXPECT_TRUE(MatchesWildcard("letter.doc", "*.doc"));
  EXPECT_FALSE(MatchesWildcard("*.doc", "letter.doc"));
  EXPECT_FALSE(MatchesWildcard("a.DOC", "*.doc"));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("dv-types-" + std::to_string(Env::Platform().ProcessId()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    // Read-only files cannot be removed on Windows until they are writable again.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  // The path in the program's spelling: UTF-8 and the platform's separators.
  std::string Path(const std::string& rel) const {
    const std::u8string u = FsPath(rel).u8string();
    return std::string(u.begin(), u.end());
  }
  fs::path FsPath(const std::string& rel) const { return (root_ / std::u8string(rel.begin(), rel.end())).make_preferred(); }
  void Write(const std::string& rel, const std::string& data) {
    fs::create_directories(FsPath(rel).parent_path());
    std::ofstream(FsPath(rel), std::ios::binary) << data;
  }
  std::string Read(const std::string& rel) const { return ReadFileToString(Env::Default(), Path(rel)); }

  fs::path root_;
};

using CollectFilesTest = TempDir;

std::vector<std::string> Sorted(TStringList& l) {
  l.SetSorted(true);
  return {l.begin(), l.end()};
}

TEST_F(CollectFilesTest, RecursesIntoVisibleFoldersOnlyAndKeepsHiddenFiles) {
  Write("src/a.txt", "a");
  Write("src/.hidden-file", "h");
  Write("src/sub/b.txt", "b");
  Write("src/.hidden-dir/c.txt", "c");
  TStringList list;
  CollectFiles(list, Path("src"), true);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{Path("src/.hidden-file"), Path("src/a.txt"), Path("src/sub/b.txt")}));

  TStringList flat;
  CollectFiles(flat, Path("src"), false);
  EXPECT_EQ(flat.Count(), 2);
}

TEST_F(CollectFilesTest, SkipsSystemFoldersFifosAndLinkedFolders) {
  Write("src/sys/x.txt", "x");
  ASSERT_TRUE(Env::Default().SetAttributes(Path("src/sys"), faSysFile));
#ifdef _WIN32
  // Only the system folder here: Windows has no FIFOs, and its symbolic links need a privilege
  // that tests do not have.
  std::printf("[ SKIPPED  ] FIFOs and symbolic links: not made on Windows\n");
  Write("src/real.txt", "r");
  TStringList list;
  CollectFiles(list, Path("src"), true);
  EXPECT_EQ(Sorted(list), std::vector<std::string>{Path("src/real.txt")});
#else
  Write("other/y.txt", "y");
  fs::create_directory_symlink(Path("other"), Path("src/link-to-dir"));
  fs::create_directory_symlink(Path("src"), Path("src/loop"));
  ASSERT_EQ(::mkfifo(Path("src/pipe").c_str(), 0600), 0);
  Write("src/real.txt", "r");
  fs::create_symlink(Path("src/real.txt"), Path("src/link.txt"));
  fs::create_symlink(Path("src/nowhere"), Path("src/dangling"));
  TStringList list;
  CollectFiles(list, Path("src"), true);
  EXPECT_EQ(Sorted(list), (std::vector<std::string>{Path("src/dangling"), Path("src/link.txt"), Path("src/real.txt")}));
#endif
}

TEST_F(CollectFilesTest, MissingFolderAddsNothingUnreadableFolderRaises) {
  TStringList list;
  EXPECT_NO_THROW(CollectFiles(list, Path("absent"), true));
  EXPECT_EQ(list.Count(), 0);
  FaultEnv faults(Env::Platform());
  faults.FailWhen([](const std::string& op, const std::string&) { return op == "list"; });
  ScopedEnv scoped(faults);
  Write("src/a.txt", "a");
  EXPECT_THROW(CollectFiles(list, Path("src"), true), EOSError);
}

TEST_F(CollectFilesTest, NamesDifferingOnlyInCaseAreTwoFiles) {
  if (FileNamesIgnoreCase) GTEST_SKIP() << "this file system takes names differing only in case for one file";
  Write("src/Report.txt", "1");
  Write("src/report.txt", "2");
  TStringList list;
  CollectFiles(list, Path("src"), false);
  EXPECT_EQ(list.Count(), 2);
}

using CopyFileSafelyTest = TempDir;

TEST_F(CopyFileSafelyTest, CopiesBytesTimeAndAttributesAndReplacesReadOnlyCopy) {
  Env& env = Env::Default();
  Write("a.txt", "new content");
  env.SetFileTime(Path("a.txt"), int64_t{1700000000} * 1000000000);
  env.SetAttributes(Path("a.txt"), faArchive | faSysFile);
  Write("b.txt", "old");
  env.SetAttributes(Path("b.txt"), faReadOnly);
  CopiedFile copied = CopyFileSafely(env, Path("a.txt"), Path("b.txt"));
  EXPECT_EQ(Read("b.txt"), "new content");
  EXPECT_EQ(env.Stat(Path("b.txt")).MTimeNs, int64_t{1700000000} * 1000000000);
  EXPECT_EQ(env.GetAttributes(Path("b.txt")), faArchive | faSysFile);
  EXPECT_EQ(copied.Source.Size, 11);
  EXPECT_EQ(copied.SourceAttributes, faArchive | faSysFile);
}

TEST_F(CopyFileSafelyTest, FailureHalfWayKeepsThePreviousCopyAndLeavesNoTemporaryFile) {
  Write("src.bin", std::string(3 << 20, 'n'));
  Write("dst/src.bin", "previous copy");
  for (int64_t budget : {int64_t{0}, int64_t{1}, int64_t{1 << 20}, int64_t{(3 << 20) - 1}}) {
    FaultEnv faults(Env::Platform());
    faults.FailWritesAfter(budget);
    EXPECT_THROW(CopyFileSafely(faults, Path("src.bin"), Path("dst/src.bin")), EInOutError) << budget;
    EXPECT_EQ(Read("dst/src.bin"), "previous copy");
    EXPECT_EQ(std::distance(fs::directory_iterator(FsPath("dst")), fs::directory_iterator()), 1);
  }
}

TEST_F(CopyFileSafelyTest, DanglingLinkFails) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows that tests do not have";
#endif
  fs::create_symlink(Path("nowhere"), Path("dangling"));
  fs::create_directory(Path("dst"));
  EXPECT_ANY_THROW(CopyFileSafely(Env::Default(), Path("dangling"), Path("dst/dangling")));
  EXPECT_TRUE(fs::is_empty(Path("dst")));
}

}  // namespace
}  // namespace dravello

namespace dravello {
namespace {

// An Env whose environment variables and folder permissions the test chooses.
class FileNamesEnv : public EnvWrapper {
 public:
  FileNamesEnv(bool writable, std::map<std::string, std::string> variables)
      : EnvWrapper(Env::Platform()), writable_(writable), variables_(std::move(variables)) {}
  std::optional<std::string> EnvironmentVariable(const std::string& name) override {
    auto it = variables_.find(name);
    if (it == variables_.end()) return std::nullopt;
    return it->second;
  }
  bool CanCreateFilesIn(const std::string& dir) override {
    asked_.push_back(dir);
    return writable_;
  }
  std::vector<std::string> asked_;

 private:
  bool writable_;
  std::map<std::string, std::string> variables_;
};

struct FileNamesCase {
  const char* name;
  bool writable;
  std::map<std::string, std::string> variables;
  const char* ini;
  const char* log;
};

TEST(InitFileNames, AProgramInAFolderItCannotWriteKeepsItsFilesInTheUsersFolders) {
  if (PathDelim != '/') GTEST_SKIP() << "on Windows the files always stay beside the program";
  const std::vector<FileNamesCase> cases = {
      {"a writable folder keeps them beside the program", true, {{"HOME", "/home/ann"}},
       "/opt/tools/dravello.ini", "/opt/tools/dravello.log"},
      {"installed: the default folders below home", false, {{"HOME", "/home/ann"}},
       "/home/ann/.config/dravello/dravello.ini", "/home/ann/.local/state/dravello/dravello.log"},
      {"installed: the XDG variables win",
       false,
       {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_STATE_HOME", "/var/st/"}},
       "/cfg/dravello/dravello.ini", "/var/st/dravello/dravello.log"},
      {"empty and relative XDG values are ignored",
       false,
       {{"HOME", "/home/ann/"}, {"XDG_CONFIG_HOME", ""}, {"XDG_STATE_HOME", "state"}},
       "/home/ann/.config/dravello/dravello.ini", "/home/ann/.local/state/dravello/dravello.log"},
      {"only one XDG variable set", false, {{"HOME", "/h"}, {"XDG_STATE_HOME", "/s"}},
       "/h/.config/dravello/dravello.ini", "/s/dravello/dravello.log"},
      {"no home and no XDG: beside the program, where writing then fails visibly", false, {},
       "/opt/tools/dravello.ini", "/opt/tools/dravello.log"},
      {"a relative home counts as none", false, {{"HOME", "home/ann"}, {"XDG_CONFIG_HOME", "/c"}},
       "/c/dravello/dravello.ini", "/opt/tools/dravello.log"},
  };
  for (const FileNamesCase& c : cases) {
    SCOPED_TRACE(c.name);
    FileNamesEnv env(c.writable, c.variables);
    ScopedEnv scoped(env);
    InitFileNames("/opt/tools/dravello");
    EXPECT_EQ(IniFileName, c.ini);
    EXPECT_EQ(LogFileName, c.log);
    EXPECT_EQ(env.asked_, std::vector<std::string>{"/opt/tools/"});
  }
  // The program's own name gives the file names, wherever they live.
  FileNamesEnv env(false, {{"HOME", "/h"}});
  ScopedEnv scoped(env);
  InitFileNames("/usr/lib/dravello/dravello.bin");
  EXPECT_EQ(IniFileName, "/h/.config/dravello/dravello.ini");
  EXPECT_EQ(LogFileName, "/h/.local/state/dravello/dravello.log");
}

// The real permission check, on a folder this process can and one it cannot write.
TEST_F(CollectFilesTest, CanCreateFilesInFollowsTheFoldersPermissions) {
  fs::create_directories(Path("rw"));
  fs::create_directories(Path("ro"));
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  Env& env = Env::Default();
  EXPECT_TRUE(env.CanCreateFilesIn(Path("rw")));
  EXPECT_FALSE(env.CanCreateFilesIn(Path("missing")));
  Write("file", "x");
  EXPECT_FALSE(env.CanCreateFilesIn(Path("file")));
#ifndef _WIN32
  if (::geteuid() != 0) {
    EXPECT_FALSE(env.CanCreateFilesIn(Path("ro")));  // root writes anywhere
  }
#endif
  fs::permissions(Path("ro"), fs::perms::owner_all);
}

}  // namespace
}  // namespace dravello
