// Fault trials of pack runs. The engine is a library with a runtime of its own, so faults inside
// it come from the real system: a small file system that fills up, and a file size limit. The
// engine's reading is tried through its core with the fault-injecting Env. Whatever fails, the
// archive written before stays exactly as it was, and every entry it held stays backed up.
#ifndef _WIN32
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <functional>

#include "EngineTestUtil.h"
#include "tests/support/FaultEnv.h"
#include "tests/trials/TrialFixture.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kOldTime = 1600000000;
constexpr int64_t kNewTime = kOldTime + 3600;
constexpr const char* kPackingFailed = "[Weekly] ### Exception during adding files to zip [";

// The sources of the first backup, and what changes before the second: "keep" stays, "v.txt" is
// rewritten, "n*.bin" are new. Noise, so that entry sizes are file sizes.
struct Sources {
  std::map<std::string, std::string> Old = {
      {"keep1.bin", Noise(400000, 1)},
      {"keep2.bin", Noise(300000, 2)},
      {"v.txt", "the first version"},
  };
  std::map<std::string, std::string> New = {
      {"v.txt", "the second version"},
      {"n1.bin", Noise(800000, 3)},
      {"n2.bin", Noise(700000, 4)},
  };
};

class PackFaultTest : public TrialFixture {
 protected:
  // Removes src/<rel> once the engine has listed the files and before it reads any.
  void VanishOnceListed(const std::string& rel) {
    Start();
    auto previous = form_->zipMain->OnProgress;
    form_->zipMain->OnProgress = [this, previous, rel](TObject* sender, ProgressType kind, const std::string& name,
                                                        uint32_t size) {
      if (kind == ptTotalFiles) fs::remove(Path("src/" + rel));
      previous(sender, kind, name, size);
    };
  }
  // The sources backed up once into `archive` by a pack run, then changed. Returns the archive.
  std::string BackUpThenChange(const std::string& archive) {
    for (const auto& [rel, data] : sources_.Old) {
      Write("src/" + rel, data);
      SetMTime("src/" + rel, kOldTime);
    }
    EXPECT_EQ(RunScript("Weekly"), 0);
    std::string old = Read(archive);
    EXPECT_EQ(ZipEntries(Path(archive)), (std::vector<std::string>{"keep1.bin", "keep2.bin", "v.txt"}));
    for (const auto& [rel, data] : sources_.New) {
      Write("src/" + rel, data);
      SetMTime("src/" + rel, kNewTime);
    }
    return old;
  }

  // The archive holds every source, each in its newest version.
  void ExpectNewSet(const std::string& archive) {
    EXPECT_EQ(ZipEntries(Path(archive)),
              (std::vector<std::string>{"keep1.bin", "keep2.bin", "n1.bin", "n2.bin", "v.txt"}));
    EXPECT_EQ(ZipEntry(Path(archive), "v.txt"), "the second version");
    EXPECT_EQ(ZipEntry(Path(archive), "n2.bin"), sources_.New["n2.bin"]);
  }

  Sources sources_;
};

#ifdef _WIN32
constexpr const char* kNoMount = "no small file system can be mounted on Windows";
constexpr const char* kNoFileSizeLimit = "Windows has no file size limit for a process";
#else
// A tmpfs of a few megabytes mounted for the test's lifetime (root only).
class SmallVolume {
 public:
  SmallVolume(const std::string& dir, int64_t bytes) : dir_(dir) {
    fs::create_directories(dir);
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) == 0;
  }
  ~SmallVolume() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  std::string dir_;
  bool mounted_ = false;
};

#endif

TEST_F(PackFaultTest, DiskFullWhileTheArchiveIsWrittenKeepsTheOldArchive) {
#ifdef _WIN32
  GTEST_SKIP() << kNoMount;
#else
  SmallVolume volume(Path("vol"), 6 << 20);
  if (!volume.Mounted()) GTEST_SKIP() << "no small file system can be mounted here (needs root)";
  Scripts(2, Path("vol/Backup/"));
  const std::string old = BackUpThenChange("vol/Backup.zip");
  const int64_t oldSize = static_cast<int64_t>(old.size());
  // The new archive holds the old entries and about 1.5 MB more, and is written beside the old
  // one; with this much room left the disk fills up at the start, inside the copied entries,
  // inside the new data and at the very end.
  for (int64_t room : {int64_t{8192}, oldSize / 2, oldSize + 200000, oldSize + 1400000}) {
    SCOPED_TRACE("room left: " + std::to_string(room));
    const int64_t free = Env::Default().GetDriveInfo(Path("vol")).FreeBytes;
    ASSERT_GT(free, room);
    Write("vol/filler", std::string(static_cast<size_t>(free - room), 'f'));
    const size_t mark = LogLines().size();
    EXPECT_EQ(RunScript("Weekly"), 1);
    const std::vector<std::string> log = LogSince(mark);
    EXPECT_EQ(CountContaining(log, kPackingFailed), 1) << ::testing::PrintToString(log);
    EXPECT_EQ(CountContaining(log, "No space left on device; the archive was left unchanged]"), 1);
    EXPECT_TRUE(Read("vol/Backup.zip") == old) << "the old archive changed";
    EXPECT_EQ(TempFilesUnder("vol"), std::vector<std::string>{});
    fs::remove(Path("vol/filler"));
  }
  EXPECT_EQ(RunScript("Weekly"), 0);
  ExpectNewSet("vol/Backup.zip");
#endif
}

#ifndef _WIN32

// Lowers the file size limit of this process, writes beyond it failing with EFBIG instead of
// ending the process; everything comes back at the end of the scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(int64_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lower = saved_;
    lower.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  struct rlimit saved_ {};
  void (*previous_)(int) = nullptr;
};
#endif

TEST_F(PackFaultTest, AWriteFailureInsideTheEngineKeepsTheOldArchive) {
#ifdef _WIN32
  GTEST_SKIP() << kNoFileSizeLimit;
#else
  Scripts();
  const std::string old = BackUpThenChange("out/Backup.zip");
  const int64_t oldSize = static_cast<int64_t>(old.size());
  for (int64_t limit : {int64_t{4096}, oldSize - 1000, oldSize + 500000, oldSize + 1400000}) {
    SCOPED_TRACE("file size limit: " + std::to_string(limit));
    const size_t mark = LogLines().size();
    int status;
    {
      FileSizeLimit lowered(limit);
      status = RunScript("Weekly");
    }
    EXPECT_EQ(status, 1);
    const std::vector<std::string> log = LogSince(mark);
    EXPECT_EQ(CountContaining(log, kPackingFailed), 1) << ::testing::PrintToString(log);
    EXPECT_EQ(CountContaining(log, "File too large; the archive was left unchanged]"), 1);
    EXPECT_TRUE(Read("out/Backup.zip") == old) << "the old archive changed";
    EXPECT_EQ(TempFilesUnder("out"), std::vector<std::string>{});
  }
  EXPECT_EQ(RunScript("Weekly"), 0);
  ExpectNewSet("out/Backup.zip");
#endif
}

TEST_F(PackFaultTest, ASourceVanishingBeforeItIsPackedKeepsItsPreviousEntry) {
  Scripts();
  BackUpThenChange("out/Backup.zip");
  VanishOnceListed("v.txt");
  const size_t mark = LogLines().size();
  EXPECT_EQ(RunScript("Weekly"), 1);
  const std::vector<std::string> log = LogSince(mark);
  EXPECT_EQ(CountContaining(log, std::string(kPackingFailed) + "skipped, file vanished: " + Path("src/v.txt") + "]"), 1)
      << ::testing::PrintToString(log);
  EXPECT_EQ(ZipEntries(Path("out/Backup.zip")),
            (std::vector<std::string>{"keep1.bin", "keep2.bin", "n1.bin", "n2.bin", "v.txt"}));
  EXPECT_EQ(ZipEntry(Path("out/Backup.zip"), "v.txt"), "the first version");
  EXPECT_EQ(TempFilesUnder("out"), std::vector<std::string>{});
}

// A file left out and then the archive failing as a whole: both reasons reach the log, once each.
TEST_F(PackFaultTest, ASkippedFileDoesNotHideWhyTheArchiveFailed) {
#ifdef _WIN32
  GTEST_SKIP() << kNoFileSizeLimit;
#else
  Scripts();
  const std::string old = BackUpThenChange("out/Backup.zip");
  VanishOnceListed("v.txt");
  const size_t mark = LogLines().size();
  int status;
  {
    FileSizeLimit lowered(4096);
    status = RunScript("Weekly");
  }
  EXPECT_EQ(status, 1);
  const std::vector<std::string> log = LogSince(mark);
  EXPECT_EQ(CountContaining(log, "skipped, file vanished: " + Path("src/v.txt") + "]"), 1) << ::testing::PrintToString(log);
  EXPECT_EQ(CountContaining(log, "File too large; the archive was left unchanged]"), 1) << ::testing::PrintToString(log);
  EXPECT_TRUE(Read("out/Backup.zip") == old) << "the old archive changed";
#endif
}

TEST_F(PackFaultTest, AnArchiveFolderThatCannotBeMadeFailsTheRunAndKeepsEarlierArchives) {
  Scripts(2, Path("out/"), 1);  // out/<year>/<mmddhhnn>.zip
  clock_->Set({2003, 12, 31, 23, 0, 0, 0});
  Write("src/a.txt", "a");
  ASSERT_EQ(RunScript("Weekly"), 0);
  const std::string earlier = Read("out/2003/12312300.zip");
  ASSERT_FALSE(earlier.empty());
  clock_->Set({2004, 1, 1, 0, 5, 0, 0});
  const size_t mark = LogLines().size();
  int status;
  {
    FaultEnv faults(Env::Platform());
    faults.FailWhen([this](const std::string& op, const std::string& path) {
      return op == "mkdir" && path == Path("out/2004");
    });
    ScopedEnv scoped(faults);
    status = RunScript("Weekly");
  }
  EXPECT_EQ(status, 1);
  const std::vector<std::string> log = LogSince(mark);
  EXPECT_EQ(CountContaining(log, "### Exception during RunScriptPack [Injected failure: mkdir \"" + Path("out/2004") + "\"]"),
            1)
      << ::testing::PrintToString(log);
  EXPECT_TRUE(Read("out/2003/12312300.zip") == earlier);
  EXPECT_FALSE(fs::exists(FsPath("out/2004")));
}

TEST_F(PackFaultTest, AnUnusableEngineLibraryFailsTheRunAndLeavesTheArchive) {
  Scripts();
  const std::string old = BackUpThenChange("out/Backup.zip");
  const std::string library = Path("lib/ZIPENGINE.DLL");
  const std::string realLibrary = std::string(DRAVELLO_BIN_DIR) + PathDelim + "ZIPENGINE.DLL";
  struct Case {
    std::string name;
    std::function<void()> prepare;
    bool refuseLoading = false;  // the system cannot read the file
  };
  std::vector<Case> cases = {
      {"garbage", [&] { Write("lib/ZIPENGINE.DLL", Noise(65536, 7)); }},
      {"empty", [&] { Write("lib/ZIPENGINE.DLL", ""); }},
      {"an executable header and then garbage",
       [&] { Write("lib/ZIPENGINE.DLL", ReadFileToString(Env::Platform(), realLibrary).substr(0, 4096) + Noise(4096, 8)); }},
      {"unreadable", [&] { fs::copy_file(realLibrary, library, fs::copy_options::overwrite_existing); }, true},
  };
#ifdef _WIN32
  std::printf("[ SKIPPED  ] a library without read permission: Windows has no permission bits\n");
#else
  if (::geteuid() != 0) {
    // Without root the permission bits alone make the file unreadable.
    cases.push_back({"without read permission", [&] {
                       fs::copy_file(realLibrary, library, fs::copy_options::overwrite_existing);
                       fs::permissions(library, fs::perms::none);
                     }});
  }
#endif
  Start();
  form_->zipMain->SetDLLDirectory(Path("lib"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    const size_t mark = LogLines().size();
    int status;
    {
      FaultEnv faults(Env::Platform());
      faults.FailWhen([&](const std::string& op, const std::string& path) {
        return c.refuseLoading && op == "load" && path == library;
      });
      ScopedEnv scoped(faults);
      status = RunScript("Weekly");
    }
    EXPECT_EQ(status, 1);
    const std::vector<std::string> log = LogSince(mark);
    EXPECT_EQ(CountContaining(log, std::string(kPackingFailed) + "ZIPENGINE.DLL not found! unloaded]"), 1)
        << ::testing::PrintToString(log);
    EXPECT_TRUE(Read("out/Backup.zip") == old) << "the old archive changed";
    EXPECT_TRUE(ui_->MessageBoxes().empty());  // unattended: the log is the only report
    fs::remove(library);
  }
  // The real library still works afterwards: nothing of the broken ones stayed loaded.
  form_->zipMain->SetDLLDirectory("");
  EXPECT_EQ(RunScript("Weekly"), 0);
  ExpectNewSet("out/Backup.zip");
}

// A library file that broke off while it was copied: its header promises segments that the file
// does not hold. Loading it must fail like loading any other unusable file, not fault inside the
// loader.
TEST_F(PackFaultTest, ATruncatedLibraryIsRefusedAndACompleteOneLoads) {
  const std::string real = ReadFileToString(Env::Platform(), std::string(DRAVELLO_BIN_DIR) + PathDelim + "ZIPENGINE.DLL");
  ASSERT_GT(real.size(), 100000u);
  for (size_t length : {size_t{64}, size_t{4096}, size_t{65536}}) {  // all within the code
    SCOPED_TRACE(length);
    Write("lib/ZIPENGINE.DLL", real.substr(0, length));
    std::string why;
    EXPECT_EQ(Env::Platform().OpenLibrary(Path("lib/ZIPENGINE.DLL"), &why), nullptr);
#ifdef _WIN32
    // The Windows loader checks the file itself and gives its own reason, naming the file.
    EXPECT_NE(why.find(Path("lib/ZIPENGINE.DLL")), std::string::npos) << why;
#else
    EXPECT_NE(why.find("truncated"), std::string::npos) << why;
#endif
  }
  Write("lib/ZIPENGINE.DLL", real);
  std::string why;
  std::unique_ptr<DynamicLibrary> library = Env::Platform().OpenLibrary(Path("lib/ZIPENGINE.DLL"), &why);
  ASSERT_NE(library, nullptr) << why;
  EXPECT_NE(library->Symbol("ZipEngineExec"), nullptr);
}

// Reading inside the engine, through its core and the fault-injecting Env: every source that
// breaks off is left out and its previous entry kept; when nothing could be read the old archive
// stays as it was. No backed-up entry is lost.
TEST_F(PackFaultTest, AReadErrorInsideTheEngineLosesNoBackedUpEntry) {
  Scripts();
  const std::string old = BackUpThenChange("out/Backup.zip");
  const std::string archive = Path("out/Backup.zip");
  int64_t total = 0;  // what the sources hold now
  for (const auto& [rel, data] : sources_.Old) total += sources_.New.count(rel) ? 0 : static_cast<int64_t>(data.size());
  for (const auto& [rel, data] : sources_.New) total += static_cast<int64_t>(data.size());
  for (int64_t budget : {int64_t{0}, int64_t{10}, int64_t{300000}, int64_t{1000000}, total - 1}) {
    SCOPED_TRACE("read error after " + std::to_string(budget) + " bytes of the sources");
    Write("out/Backup.zip", old);
    zipengine::test::EngineCommand cmd(archive);
    cmd.BackupToolDefaults().Spec(Path("src") + PathDelim + "*");
    zipengine::EngineTuning tuning;
    tuning.StreamThreshold = 500000;  // the larger new files are read in pieces
    tuning.PieceSize = 128 << 10;
    int32_t stored;
    {
      FaultEnv faults(Env::Platform());
      faults.FailReadsAfter(budget, [this](const std::string& path) { return path.rfind(Path("src/"), 0) == 0; });
      ScopedEnv scoped(faults);
      stored = cmd.Run(tuning);
    }
    EXPECT_EQ(TempFilesUnder("out"), std::vector<std::string>{});
    EXPECT_NE(cmd.Messages().find("skipped"), std::string::npos) << cmd.Messages();
    if (stored == 0) {
      EXPECT_TRUE(Read("out/Backup.zip") == old) << "the old archive changed";
      continue;
    }
    // Every old entry is still there, in its old version or, when it was read whole, its new one;
    // a new file is there whole or not at all.
    const std::vector<std::string> names = ZipEntries(archive);
    EXPECT_LT(stored, 5) << "a source broke off, yet every file was stored";
    for (const auto& [rel, data] : sources_.Old) {
      ASSERT_TRUE(std::find(names.begin(), names.end(), rel) != names.end()) << rel << " lost";
      const std::string now = ZipEntry(archive, rel);
      EXPECT_TRUE(now == data || (sources_.New.count(rel) && now == sources_.New.at(rel))) << rel;
    }
    for (const auto& [rel, data] : sources_.New) {
      if (!sources_.Old.count(rel) && std::find(names.begin(), names.end(), rel) != names.end()) {
        EXPECT_TRUE(ZipEntry(archive, rel) == data) << rel;
      }
    }
  }
}

}  // namespace
}  // namespace dravello
