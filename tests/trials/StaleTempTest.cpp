// What a killed run leaves behind: temporary files beside the copies, the archive and the INI.
// The next run of the same kind removes those of processes that are gone, and nothing else; the
// next run of any kind also removes them from dated destinations no run visits again.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/RunJournal.h"
#include "ini/SectionIni.h"
#include "tests/support/FaultEnv.h"
#include "tests/trials/TrialFixture.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

// The id of a process that has ended (and been reaped), as a killed run's is.
int64_t EndedProcessId() {
#ifdef _WIN32
  // Windows starts no process the tests could reap by id; an id that no process has (Windows
  // counts ids in fours), checked, stands for it, and each call gives another.
  static int64_t next = 4 * 1000003;
  while (Env::Platform().ProcessExists(next)) next += 4;
  const int64_t id = next;
  next += 4;
  return id;
#else
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
#endif
}

// The id of a process that runs and is not this one, whoever owns it.
int64_t OtherRunningProcessId() {
#ifdef _WIN32
  // Windows (and Wine) count process ids in fours; the first one that answers is taken.
  for (int64_t pid = 4; pid < (int64_t{1} << 24); pid += 4)
    if (pid != Env::Platform().ProcessId() && Env::Platform().ProcessExists(pid)) return pid;
  ADD_FAILURE() << "no other running process found";
  return 0;
#else
  return 1;  // init
#endif
}

TEST(TempFileNameTest, NamesMadeBesideATargetReadBackAndNothingElseDoes) {
  struct Made {
    std::string target;
    int64_t pid;
  } made[] = {{"/d/a.txt", 42}, {"/d/archive.zip", 2147483647}, {"/d/x.dvtmp1-2-3", 7}, {"/d/.profile", 1},
              {"/d/K\xC3\xA4se", 31337}, {"rel", 5}};
  for (const Made& m : made) {
    const std::string path = TempFileNameBeside(m.target, m.pid, 12, 99999);
    EXPECT_EQ(ExtractFilePath(path), ExtractFilePath(m.target));
    std::string target;
    int64_t pid = 0;
    ASSERT_TRUE(ParseTempFileName(ExtractFileName(path), &target, &pid)) << path;
    EXPECT_EQ(target, ExtractFileName(m.target));
    EXPECT_EQ(pid, m.pid);
  }
  const char* others[] = {
      "a.txt.dvtmp1-2-3",      // no leading dot
      ".dvtmp1-2-3",           // no target name
      ".a.dvtmp1-2-3x",        // trailing text
      ".a.dvtmp1-2",           // two numbers
      ".a.dvtmp1-2-3-4",       // four numbers
      ".a.dvtmp-1-2-3",        // a sign
      ".a.dvtmp0-2-3",         // no process has id 0
      ".a.dvtmp12345678901-2-3",  // longer than any process id
      ".a.dvtmp1--3",          // an empty number
      ".a.dvtmp1-2-3.bak",     // a copy someone made
      ".a.DVTMP1-2-3",         // not our spelling
      ".a.dvtmp 1-2-3",
      "",
  };
  for (const char* name : others) {
    std::string target;
    int64_t pid = 0;
    EXPECT_FALSE(ParseTempFileName(name, &target, &pid)) << name;
  }
}

class StaleTempTest : public TrialFixture {
 protected:
  // A temporary file as process `pid` would make it beside dir/<name>.
  std::string Leave(const std::string& dir, const std::string& name, int64_t pid, uint64_t serial = 0) {
    const std::string path = TempFileNameBeside(Path(dir + "/" + name), pid, serial, 123);
    Write(path.substr(Path("").size()), "half a file");
    return path;
  }
  std::vector<std::string> Names(const std::string& dir) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FsPath(dir))) {
      const std::u8string name = e.path().filename().u8string();
      names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  const int64_t dead_ = EndedProcessId();
  const int64_t alive_ = Env::Platform().ProcessId();
};

// Names carry the host: a process id tells nothing about another computer's processes, so only
// this computer's abandoned files (and those of older versions, which named no host) go.
TEST_F(StaleTempTest, TemporaryFilesOfOtherComputersStay) {
  Env& env = Env::Default();
  const std::string host = env.HostName();
  Write("d/a.txt", "a");
  const std::string mine = TempFileNameBeside(Path("d/a.txt"), dead_, 0, 1, host);
  const std::string older = TempFileNameBeside(Path("d/a.txt"), dead_, 1, 1);
  const std::string other = TempFileNameBeside(Path("d/a.txt"), dead_, 2, 1, host + "-other.example");
  for (const std::string& p : {mine, older, other}) Write(p.substr(Path("").size()), "half a file");
  std::string target, parsedHost;
  int64_t pid = 0;
  ASSERT_TRUE(ParseTempFileName(ExtractFileName(other), &target, &pid, &parsedHost));
  EXPECT_EQ(parsedHost, TempNameHost(host + "-other.example"));
  EXPECT_EQ(parsedHost.find('.'), std::string::npos);
  EXPECT_EQ(env.RemoveStaleTempFiles(Path("d")), 2);
  EXPECT_EQ(Names("d"), (std::vector<std::string>{ExtractFileName(other), "a.txt"}));
}

TEST_F(StaleTempTest, OnlyTemporaryFilesOfEndedProcessesAreRemoved) {
  Env& env = Env::Default();
  Write("d/a.txt", "a");
  const std::string deadA = Leave("d", "a.txt", dead_);
  const std::string deadA2 = Leave("d", "a.txt", dead_, 1);
  const std::string deadB = Leave("d", "b.txt", dead_);
  Leave("d", "a.txt", alive_);  // this process: a write in progress
  Leave("d", "a.txt", OtherRunningProcessId());  // a process that runs, whoever owns it
  const std::string dir = ExtractFileName(TempFileNameBeside(Path("d/x"), dead_, 0, 1));
  fs::create_directories(Path("d/" + dir));  // a folder under such a name is not ours
#ifdef _WIN32
  std::printf("[ SKIPPED  ] a symbolic link under such a name: links need a privilege on Windows\n");
#else
  const std::string link = ExtractFileName(TempFileNameBeside(Path("d/l"), dead_, 0, 1));
  fs::create_symlink(Path("d/a.txt"), Path("d/" + link));  // nor is a link
#endif
  Write("d/" + ExtractFileName(deadA) + ".bak", "someone's copy");
  Write("d/" + ExtractFileName(deadA).substr(1), "not hidden: not ours");
  const std::vector<std::string> before = Names("d");

  EXPECT_EQ(env.RemoveStaleTempFiles(Path("d"), "a.txt"), 2);
  EXPECT_FALSE(fs::exists(deadA));
  EXPECT_FALSE(fs::exists(deadA2));
  EXPECT_TRUE(fs::exists(deadB));  // made for another target
  EXPECT_EQ(env.RemoveStaleTempFiles(Path("d")), 1);
  EXPECT_FALSE(fs::exists(deadB));
  EXPECT_EQ(env.RemoveStaleTempFiles(Path("d")), 0);

  std::vector<std::string> expected;
  for (const std::string& n : before)
    if (n != ExtractFileName(deadA) && n != ExtractFileName(deadA2) && n != ExtractFileName(deadB)) expected.push_back(n);
  EXPECT_EQ(Names("d"), expected);
  EXPECT_EQ(Read("d/a.txt"), "a");
}

TEST_F(StaleTempTest, TidyingNeverFailsWhatCalledForIt) {
  Env& env = Env::Default();
  const std::string stale = Leave("d", "a.txt", dead_);
  EXPECT_EQ(env.RemoveStaleTempFiles(Path("nowhere")), 0);
  for (const char* refused : {"list", "delete"}) {
    SCOPED_TRACE(refused);
    FaultEnv faults(Env::Platform());
    faults.FailWhen([&](const std::string& op, const std::string&) { return op == refused; });
    EXPECT_EQ(faults.RemoveStaleTempFiles(Path("d")), 0);
    EXPECT_TRUE(fs::exists(stale));
  }
}

TEST_F(StaleTempTest, AnIniWriteBackRemovesWhatAKilledOneLeftBesideTheIni) {
  Write("prog/settings.ini", "[a]\r\nk=1\r\n");
  const std::string mine = Leave("prog", "settings.ini", dead_);
  const std::string other = Leave("prog", "other.ini", dead_);
  {
    TSectionIniFile ini(Path("prog/settings.ini"));
    ini.WriteText("a", "k", "2");
  }
  EXPECT_EQ(Read("prog/settings.ini"), "[a]\r\nk=2\r\n\r\n");
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_TRUE(fs::exists(other));  // another INI's business
}

TEST_F(StaleTempTest, ACopyRunRemovesWhatAKilledOneLeftInTheFoldersItVisits) {
  Scripts();
  Write("src/a.txt", "a");
  Write("src/sub/b.txt", "b");
  ASSERT_EQ(RunScript("Daily"), 0);
  const std::string inTop = Leave(Mirror("src"), "a.txt", dead_);
  const std::string inSub = Leave(Mirror("src/sub"), "b.txt", dead_);
  const std::string forGone = Leave(Mirror("src/sub"), "deleted-since.txt", dead_, 7);
  const std::string live = Leave(Mirror("src/sub"), "b.txt", alive_);
  Write("unvisited/x.txt", "x");
  const std::string elsewhere = Leave("unvisited", "x.txt", dead_);
  const size_t mark = LogLines().size();

  EXPECT_EQ(RunScript("Daily"), 0);
  EXPECT_FALSE(fs::exists(inTop));
  EXPECT_FALSE(fs::exists(inSub));
  EXPECT_FALSE(fs::exists(forGone));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(elsewhere));
  // Tidying is no event of the backup: the log reads as for any run.
  EXPECT_EQ(LogSince(mark), (std::vector<std::string>{"[Daily] === Starting script ===", "[Daily] Retrieving filenames...",
                                                      "[Daily] Processing 2 directories...",
                                                      "[Daily] Processing 2 files...", "[Daily] Copied 0 files...",
                                                      "[Daily] === Finished script ==="}));
}

TEST_F(StaleTempTest, APackRunRemovesStaleTemporaryArchivesOfItsArchiveOnly) {
  Scripts();
  Write("src/a.txt", "a");
  Start();
  form_->zipMain->SetTempDir(Path("tmpdir"));
  fs::create_directories(FsPath("tmpdir"));
  const std::string beside = Leave("out", "Backup.zip", dead_);
  const std::string inTempDir = Leave("tmpdir", "Backup.zip", dead_, 3);
  const std::string otherArchive = Leave("out", "Other.zip", dead_);
  const std::string live = Leave("out", "Backup.zip", alive_);

  EXPECT_EQ(RunScript("Weekly"), 0);
  EXPECT_EQ(ZipEntries(Path("out/Backup.zip")), std::vector<std::string>{"a.txt"});
  EXPECT_FALSE(fs::exists(beside));
  EXPECT_FALSE(fs::exists(inTempDir));
  EXPECT_TRUE(fs::exists(otherArchive));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_EQ(Names("tmpdir"), std::vector<std::string>{});
}

#ifndef _WIN32
// Ends the process as a kill would the moment it is about to put its second copy in place.
class DieBeforeSecondCopyLands : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  void RenameFile(const std::string& from, const std::string& to) override {
    std::string target;
    int64_t pid = 0;
    if (ParseTempFileName(ExtractFileName(from), &target, &pid) && ++copies_ == 2) ::_exit(9);
    EnvWrapper::RenameFile(from, to);
  }

 private:
  int copies_ = 0;
};
#endif

class KilledRunTest : public StaleTempTest {
 protected:
#ifndef _WIN32
  // Runs `script` in a child process that `arm` prepares to end itself midway; gives its pid.
  int64_t RunAndDie(const std::string& script, const std::function<void()>& arm) {
    Start();
    pid_t child = ::fork();
    if (child == 0) {
      arm();
      form_->RunScript(script);
      ::_exit(0);  // the kill point was never reached
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << "the run was not cut short: " << status;
    return child;
  }
#endif
  std::vector<std::string> Journals() const {
    std::vector<std::string> found;
    for (const std::string& name : Names("prog"))
      if (name.size() > 4 && name.substr(name.size() - 4) == ".run") found.push_back(name);
    return found;
  }
  // The next run starts an hour later, so a dated destination is a new one.
  void AnHourLater() { clock_->Set(TDateTimeParts{2004, 3, 15, 15, 7, 33, 0}); }
};

// A run killed midway is a forked copy of the test process, which Windows cannot make.
constexpr const char* kNoFork = "a run killed midway runs in a forked child, and Windows has no fork";

TEST_F(KilledRunTest, TheNextRunTidiesADatedCopyDestinationItNeverVisitsAgain) {
#ifdef _WIN32
  GTEST_SKIP() << kNoFork;
#else
  Scripts(/*copyFormat=*/0);
  Write("src/a.txt", "first");
  Write("src/b.txt", "second");
  const int64_t killed = RunAndDie("Daily", [] {
    static DieBeforeSecondCopyLands dying(Env::Platform());
    Env::SetDefault(&dying);
  });
  const std::string killedDst = "dst/2004-03-15 14-07";
  ASSERT_EQ(TempFilesUnder(killedDst).size(), 1u);
  EXPECT_EQ(Journals(), std::vector<std::string>{"dravello." + std::to_string(killed) + ".run"});

  AnHourLater();
  EXPECT_EQ(RunScript("Daily"), 0);
  EXPECT_EQ(TempFilesUnder(killedDst), std::vector<std::string>{});
  EXPECT_EQ(Journals(), std::vector<std::string>{});
  // The copy the killed run completed is kept, and the new destination is whole.
  EXPECT_EQ(Read(killedDst + "/" + PathWithoutDrive(Path("src/a.txt"))), "first");
  EXPECT_EQ(Read("dst/2004-03-15 15-07/" + PathWithoutDrive(Path("src/b.txt"))), "second");
#endif
}

TEST_F(KilledRunTest, TheNextRunTidiesBesideADatedArchiveItNeverExtends) {
#ifdef _WIN32
  GTEST_SKIP() << kNoFork;
#else
  Scripts(2, Path("out/Backup"), /*packFormat=*/0);
  Write("src/a.txt", std::string(200000, 'a'));
  Write("src/b.txt", std::string(200000, 'b'));
  RunAndDie("Weekly", [this] {
    form_->zipMain->OnProgress = [this](TObject*, ProgressType, const std::string&, uint32_t) {
      if (!TempFilesUnder("out").empty()) ::_exit(9);
    };
  });
  ASSERT_EQ(TempFilesUnder("out").size(), 1u);
  EXPECT_FALSE(fs::exists(Path("out/Backup/2004-03-15 14-07.zip")));
  EXPECT_EQ(Journals().size(), 1u);

  AnHourLater();
  EXPECT_EQ(RunScript("Weekly"), 0);
  EXPECT_EQ(TempFilesUnder("out"), std::vector<std::string>{});
  EXPECT_EQ(Journals(), std::vector<std::string>{});
  EXPECT_EQ(ZipEntries(Path("out/Backup/2004-03-15 15-07.zip")), (std::vector<std::string>{"a.txt", "b.txt"}));
#endif
}

TEST_F(KilledRunTest, OnlyCompleteJournalsOfEndedRunsAreActedOn) {
  Scripts();
  Write("src/a.txt", "a");
  const std::string stem = Path("prog/dravello");
  auto journal = [&](int64_t pid, const std::string& text) { Write("prog/" + ExtractFileName(TRunJournal::FileName(stem, pid)), text); };
  fs::create_directories(FsPath("old/x"));
  fs::create_directories(FsPath("other"));
  const std::string deep = Leave("old/x", "f.txt", dead_);
  const std::string inRunning = Leave("other", "g.txt", dead_);
  const std::string cutShort = Leave("other", "h.txt", dead_, 1);
  journal(dead_, "tree " + Path("old") + "\nend\n");
  journal(alive_ + 0, "tree " + Path("other") + "\nend\n");  // this process: a run in progress
  const int64_t alsoDead = EndedProcessId();
  journal(alsoDead, "tree " + Path("other") + "\n");  // killed before its run made anything
  Write("prog/dravello.x1.run", "tree " + Path("other") + "\nend\n");  // no journal's name

  EXPECT_EQ(TRunJournal::TidyAfterEndedRuns(stem), 1);
  EXPECT_FALSE(fs::exists(deep));
  EXPECT_TRUE(fs::exists(inRunning));
  EXPECT_TRUE(fs::exists(cutShort));
  EXPECT_EQ(Journals(), (std::vector<std::string>{"dravello." + std::to_string(alive_) + ".run", "dravello.x1.run"}));
}

}  // namespace
}  // namespace dravello
