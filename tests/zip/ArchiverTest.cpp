// The archiver component's properties, Add, engine loading and callback handling, driven through
// stand-in engine libraries.
#include <gtest/gtest.h>

#include <climits>

#include "ZipBuilder.h"
#include "ZipTestSupport.h"
#include "runtime/Env.h"
#include "tests/support/FaultEnv.h"
#include "ui/Graphics.h"
#include "zip/ZipArchiver.h"

namespace dravello {
namespace {

using namespace ziptest;

const char* const kMainWindowSuffixes = ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar";

class ZipArchiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    z.SetUi(&ui);
    z.SetUnattended(true);
    RecordMessages(z, messages);
  }
  void AddSpecs(std::initializer_list<std::string> lines) {
    for (const std::string& l : lines) z.FSpecArgs()->Add(l);
  }
  // Points the component at a stand-in engine and at an archive name in the temp folder.
  void UseEngine(const std::string& variant) {
    z.SetDLLDirectory(FakeEngineDir(variant));
    z.SetZipFileName(dir / "out.zip");
  }

  TempDir dir;
  RecordingUi ui;
  TZipArchiver z{nullptr};
  std::vector<std::string> messages;
};

// ---- Published properties ---------------------------------------------------------------------

TEST_F(ZipArchiverTest, PublishedPropertiesHaveTheirCreationValues) {
  TZipArchiver fresh(nullptr);
  const TClass& c = fresh.ClassType();
  struct Ord {
    const char* name;
    int64_t value;
  };
  for (const Ord& o : {Ord{"AddCompLevel", 9}, Ord{"AddOptions", 0}, Ord{"AddStoreSuffixes", 0x1FFFF},
                       Ord{"MinZipEngineVers", 172}, Ord{"MinUnzEngineVers", 172}, Ord{"Unattended", 0},
                       Ord{"Verbose", 0}, Ord{"Trace", 0}, Ord{"CodePage", cpAuto}, Ord{"HowToDelete", htdAllowUndo},
                       Ord{"PasswordReqCount", 1}, Ord{"UseDirOnlyEntries", 0}, Ord{"ConfirmErase", 1},
                       Ord{"KeepFreeOnDisk1", 0}, Ord{"MaxVolumeSize", 0}, Ord{"MinFreeVolumeSize", 65536}}) {
    const TPropInfo* p = c.FindProperty(o.name);
    ASSERT_NE(p, nullptr) << o.name;
    EXPECT_EQ(p->GetOrd(fresh), o.value) << o.name;
  }
  EXPECT_EQ(c.FindProperty("VersionInfo")->GetStr(fresh), "1.72");
  EXPECT_EQ(c.FindProperty("SFXCaption")->GetStr(fresh), "Self-extracting Archive");
  EXPECT_EQ(c.FindProperty("AddFrom")->GetFloat(fresh), 0.0);
  for (const char* s : {"ExtAddStoreSuffixes", "ZipFileName", "Password", "RootDir", "TempDir", "DLLDirectory"})
    EXPECT_EQ(c.FindProperty(s)->GetStr(fresh), "") << s;
  EXPECT_EQ(c.FindProperty("FSpecArgs")->GetObj(fresh), fresh.FSpecArgs());
  EXPECT_EQ(c.FindProperty("OnProgress")->Kind, TTypeKind::tkMethod);
}

TEST_F(ZipArchiverTest, SetMembersAreNamedByTheirBitNumbers) {
  const TPropInfo* options = TZipArchiver::StaticClass().FindProperty("AddOptions");
  ASSERT_EQ(options->ValueNames.size(), 17u);
  EXPECT_EQ(options->ValueNames[AddHiddenFiles], "AddHiddenFiles");
  EXPECT_EQ(options->ValueNames[AddDiskSpanErase], "AddDiskSpanErase");
  // The host assigns the options as a number: 129 is AddDirNames and AddHiddenFiles.
  options->SetOrd(z, 129 + 256 + 512);
  EXPECT_TRUE(InSet(z.AddOptions(), AddDirNames));
  EXPECT_TRUE(InSet(z.AddOptions(), AddHiddenFiles));
  EXPECT_TRUE(InSet(z.AddOptions(), AddArchiveOnly));
  EXPECT_TRUE(InSet(z.AddOptions(), AddResetArchive));
  EXPECT_FALSE(InSet(z.AddOptions(), AddRecurseDirs));
  const TPropInfo* suffixes = TZipArchiver::StaticClass().FindProperty("AddStoreSuffixes");
  EXPECT_EQ(suffixes->ValueNames[assGZIP], "assGZIP");
  EXPECT_EQ(suffixes->ValueNames[assEXT], "assEXT");
}

TEST_F(ZipArchiverTest, SettersKeepTheirRules) {
  const TClass& c = z.ClassType();
  z.SetMinZipEngineVers(100);
  EXPECT_EQ(z.MinZipEngineVers(), 172);
  z.SetMinZipEngineVers(171);
  EXPECT_EQ(z.MinZipEngineVers(), 172);
  c.FindProperty("MinZipEngineVers")->SetOrd(z, 200);
  EXPECT_EQ(z.MinZipEngineVers(), 200);
  z.SetMinUnzEngineVers(5);
  EXPECT_EQ(z.MinUnzEngineVers(), 172);
  z.SetMinUnzEngineVers(190);
  EXPECT_EQ(z.MinUnzEngineVers(), 190);

  c.FindProperty("PasswordReqCount")->SetOrd(z, 20);
  EXPECT_EQ(z.PasswordReqCount(), 15u);
  z.SetPasswordReqCount(3);
  EXPECT_EQ(z.PasswordReqCount(), 3u);

  c.FindProperty("VersionInfo")->SetStr(z, "9.99");
  EXPECT_EQ(z.VersionInfo(), "1.72");

  struct Dir {
    const char* in;
    const char* stored;
  };
  for (const Dir& d : {Dir{"/opt/engine/", "/opt/engine"}, Dir{"/opt/engine//", "/opt/engine/"},
                       Dir{"/opt/engine", "/opt/engine"}, Dir{"/", "/"}, Dir{"./sub/", "./sub"}, Dir{"", ""}}) {
    c.FindProperty("DLLDirectory")->SetStr(z, Native(d.in));
    EXPECT_EQ(z.DLLDirectory(), Native(d.stored)) << d.in;
  }
}

TEST_F(ZipArchiverTest, ExtraStoreSuffixesAreRewrittenItemByItem) {
  struct Case {
    const char* in;
    const char* stored;
  };
  for (const Case& t : {Case{"GIF;.jpg", ".gif:.jpg:"}, Case{"mp3", ".mp3:"}, Case{";mp3", ".:.mp3:"},
                        Case{"a,,B", ".a:.:.b:"}, Case{"A:b;c,.D", ".a:.b:.c:.d:"}, Case{"ogg;", ".ogg:"}}) {
    z.SetAddStoreSuffixes(0);
    z.SetExtAddStoreSuffixes(t.in);
    EXPECT_EQ(z.ExtAddStoreSuffixes(), t.stored) << t.in;
    EXPECT_EQ(z.AddStoreSuffixes(), SetOf(assEXT)) << t.in;
  }
  z.SetExtAddStoreSuffixes("");
  EXPECT_EQ(z.ExtAddStoreSuffixes(), "");
  EXPECT_EQ(z.AddStoreSuffixes(), 0u);
}

TEST_F(ZipArchiverTest, SuffixListFollowsTheSetAndTheExtraText) {
  EXPECT_EQ(z.BuildSuffixList(), kMainWindowSuffixes);
  z.SetExtAddStoreSuffixes("JPG;mp3");
  EXPECT_EQ(z.BuildSuffixList(), std::string(kMainWindowSuffixes) + ":.jpg:.mp3");
  z.SetAddStoreSuffixes(SetOf(assEXE));
  EXPECT_EQ(z.BuildSuffixList(), ".exe");
  z.SetAddStoreSuffixes(0);
  EXPECT_EQ(z.BuildSuffixList(), "");
}

TEST_F(ZipArchiverTest, FileSpecificationListsAreCopiedNotShared) {
  TStringList lines;
  lines.Add("/a");
  lines.Add("/b");
  z.SetFSpecArgs(&lines);
  lines.Add("/c");
  EXPECT_EQ(z.FSpecArgs()->Count(), 2);
  z.SetFSpecArgsExcl(&lines);
  EXPECT_EQ(z.FSpecArgsExcl()->Count(), 3);
}

TEST(ZipArchiverMessages, TableTextsAndFallbacks) {
  EXPECT_EQ(StringTableText(10301), "Error - no files to zip!");
  EXPECT_EQ(StringTableText(10104), "Error - passwords do NOT match\nPassword ignored");
  EXPECT_EQ(StringTableText(11036), "This archive is not a valid Zip archive");
  EXPECT_EQ(StringTableText(10705), "Old Dll from ");
  EXPECT_EQ(StringTableText(10804), "SFX not supported");
  EXPECT_EQ(StringTableText(11048), "Span not supported");
  EXPECT_EQ(StringTableText(12345),
            "The message table is probably not linked to the executable\nMissing String ID is: 12345");

  EZipArchiver missing = EZipArchiver::CreateWithId(11048, false);
  EXPECT_EQ(missing.Message(), "The message table is probably not linked to the executable\nMissing String ID is: 11048");
  EXPECT_EQ(missing.ResourceId, 11048);
  EXPECT_FALSE(missing.ShowToUser);
  EZipArchiver n = EZipArchiver::CreateWithNumber(11038, -30);
  EXPECT_EQ(n.Message(), "This is the -30th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_TRUE(n.ShowToUser);
  EXPECT_EQ(EZipArchiver::CreateWithNumber(10304, 5).Message(), "Error 5 occurred during Auto SFX creation.");
  EXPECT_EQ(EZipArchiver::CreateWithText(11003, "1:\\").Message(), "Not a valid drive: 1:\\");
  EXPECT_EQ(PasswordButtonOf(1), pbOk);
  EXPECT_EQ(PasswordButtonOf(2), pbCancel);
  EXPECT_EQ(PasswordButtonOf(9), pbCancelAll);
  EXPECT_EQ(PasswordButtonOf(3), pbAbort);
  EXPECT_EQ(PasswordButtonOf(0), pbAbort);
}

TEST(ZipArchiverPaths, JoinPathPutsOneSeparatorBetween) {
  struct Case {
    const char *dir, *name, *joined;
  };
  for (const Case& t : {Case{"/opt/e", "/ZIPENGINE.DLL", "/opt/e/ZIPENGINE.DLL"},
                        Case{"/opt/e/", "/ZIPENGINE.DLL", "/opt/e/ZIPENGINE.DLL"},
                        Case{"/opt/e/", "ZIPENGINE.DLL", "/opt/e/ZIPENGINE.DLL"},
                        Case{"/opt/e", "ZIPENGINE.DLL", "/opt/e/ZIPENGINE.DLL"},
                        Case{"", "/ZIPENGINE.DLL", "/ZIPENGINE.DLL"}, Case{"/opt", "", "/opt"}}) {
    EXPECT_EQ(JoinPath(Native(t.dir), Native(t.name)), Native(t.joined)) << t.dir << " + " << t.name;
  }
}

// ---- Add: the checks before the engine --------------------------------------------------------

TEST_F(ZipArchiverTest, NothingToAddReportsAndLoadsNothing) {
  z.SetUnattended(false);
  z.SetDLLDirectory(FakeEngineDir("good"));
  EXPECT_EQ(z.Add(), 10301);
  EXPECT_EQ(z.Message(), "Error - no files to zip!");
  EXPECT_EQ(messages, std::vector<std::string>{"0|Error - no files to zip!"});
  EXPECT_EQ(ui.shown, std::vector<std::string>{"Error - no files to zip!"});
  EXPECT_FALSE(z.EngineLoaded());
  EXPECT_FALSE(z.AddRunning());
}

TEST_F(ZipArchiverTest, ChecksBeforeTheEngineStopWithTheirMessages) {
  FakeEngine engine;
  struct Case {
    const char* what;
    AddOpts options;
    const char* archive;
    const char* password;
    int32_t expected;
  };
  const std::string zipName = dir / "a.zip";
  for (const Case& t : {Case{"no archive name", 0, "", "", 10102},
                        Case{"encryption without password", SetOf(AddEncrypt), "a.zip", "", 10302},
                        Case{"spanning with update", SetOf(AddDiskSpan) | SetOf(AddUpdate), "a.zip", "", 10303},
                        Case{"spanning with freshen", SetOf(AddDiskSpan) | SetOf(AddFreshen), "a.zip", "", 10303},
                        Case{"spanning an exe", SetOf(AddDiskSpan), "a.EXE", "", 11041},
                        Case{"spanning", SetOf(AddDiskSpan), "a.zip", "", 11048},
                        Case{"new self-extractor", 0, "new.exe", "", 10804}}) {
    TZipArchiver c(nullptr);
    c.SetUnattended(true);
    c.SetDLLDirectory(FakeEngineDir("good"));
    c.FSpecArgs()->Add("/etc/hostname");
    c.SetAddOptions(t.options);
    c.SetPassword(t.password);
    if (*t.archive) c.SetZipFileName(dir / t.archive);
    EXPECT_EQ(c.Add(), t.expected) << t.what;
    EXPECT_EQ(c.Message(), StringTableText(t.expected)) << t.what;
    EXPECT_EQ(c.FSpecArgs()->Count(), 1) << t.what << ": lines are kept when Add stops early";
    EXPECT_EQ(engine.Log().execCalls, 0) << t.what;
  }
}

TEST_F(ZipArchiverTest, DiskSpanEraseSticksEvenWhenAddStopsLater) {
  AddSpecs({"/etc/hostname"});
  z.SetAddOptions(SetOf(AddDiskSpanErase));
  EXPECT_EQ(z.Add(), 10102);
  EXPECT_TRUE(InSet(z.AddOptions(), AddDiskSpan));
  EXPECT_TRUE(InSet(z.AddOptions(), AddDiskSpanErase));
  EXPECT_TRUE(InSet(z.SpanOptions(), spWipeFiles));
}

// ---- Loading the engine -----------------------------------------------------------------------

TEST_F(ZipArchiverTest, MissingEngineReportsTwiceAndKeepsTheLines) {
  // A program folder without the library, and a directory that does not hold one either.
  ProgramDirEnv env(Env::Platform(), dir / "prog/dravello");
  ScopedEnv scoped(env);
#ifdef _WIN32
  // Windows' own search for a bare name starts in the folder of the running program, which here is
  // the build's bin folder with the real engine in it; the stand-in program folder is empty.
  FaultEnv searchFindsNothing(env);
  searchFindsNothing.FailWhen([](const std::string& op, const std::string& path) {
    return op == "load" && path.find_first_of("\\/:") == std::string::npos;
  });
  ScopedEnv scopedSearch(searchFindsNothing);
#endif
  AddSpecs({"/etc/hostname"});
  z.SetZipFileName(dir / "out.zip");
  z.SetDLLDirectory(dir / "nowhere");
  EXPECT_EQ(z.Add(), 10604);
  EXPECT_EQ(messages, (std::vector<std::string>{"0|ZIPENGINE.DLL not found!", "0|ZIPENGINE.DLL not found! unloaded"}));
  EXPECT_EQ(z.Message(), "ZIPENGINE.DLL not found! unloaded");
  EXPECT_EQ(z.FSpecArgs()->Count(), 1);
  EXPECT_FALSE(z.EngineLoaded());
}

TEST_F(ZipArchiverTest, OldEngineIsRefusedWithItsFullPathAndReleased) {
  FakeEngine engine("v171");
  AddSpecs({"/etc/hostname"});
  UseEngine("v171");
  EXPECT_EQ(z.Add(), 10605);
  const std::string path = Utf8Of(fs::canonical(FsPath(FakeEnginePath("v171"))));
  EXPECT_EQ(z.Message(), "Attempted to load old ZipEngine from " + path);
  EXPECT_FALSE(z.EngineLoaded());
  EXPECT_EQ(engine.Log().execCalls, 0);
  EXPECT_EQ(z.FSpecArgs()->Count(), 1);
}

TEST_F(ZipArchiverTest, VersionLimitIsInclusive) {
  {
    FakeEngine engine("v172");
    AddSpecs({"/etc/hostname"});
    UseEngine("v172");
    EXPECT_EQ(z.Add(), 0);
    EXPECT_EQ(engine.Log().execCalls, 1);
  }
  FakeEngine engine("v172");
  AddSpecs({"/etc/hostname"});
  z.SetMinZipEngineVers(173);
  EXPECT_EQ(z.Add(), 10605);
  EXPECT_EQ(engine.Log().execCalls, 0);
}

TEST_F(ZipArchiverTest, UnusableEnginesAreReportedAndUnloaded) {
  struct Case {
    const char* variant;
    std::vector<std::string> messages;
  };
  for (const Case& t :
       {Case{"v0", {"0|ZIPENGINE.DLL not found! unloaded"}},
        Case{"noexec", {"0|ZipEngineExec function not found in ZIPENGINE.DLL!", "0|ZIPENGINE.DLL not found! unloaded"}},
        Case{"noversion",
             {"0|GetZipEngineVersion function not found in ZIPENGINE.DLL!", "0|ZIPENGINE.DLL not found! unloaded"}}}) {
    messages.clear();
    AddSpecs({"/etc/hostname"});
    UseEngine(t.variant);
    EXPECT_EQ(z.Add(), 10604) << t.variant;
    EXPECT_EQ(messages, t.messages) << t.variant;
    EXPECT_FALSE(z.EngineLoaded()) << t.variant;
    z.FSpecArgs()->Clear();
  }
}

TEST_F(ZipArchiverTest, NegativeVersionRaisesAndLeavesTheComponentUsable) {
  AddSpecs({"/etc/hostname"});
  UseEngine("negative");
  EXPECT_THROW(z.Add(), ERangeError);
  EXPECT_FALSE(z.AddRunning());
  EXPECT_FALSE(z.EngineRunning());
  EXPECT_FALSE(z.EngineLoaded());
  // Not refused as busy: the next Add meets the same engine again.
  EXPECT_THROW(z.Add(), ERangeError);
}

TEST_F(ZipArchiverTest, TraceAndVerboseReportTheLoadedLibrary) {
  FakeEngine engine;
  AddSpecs({"/etc/hostname"});
  UseEngine("good");
  const std::string path = Utf8Of(fs::canonical(FsPath(FakeEnginePath("good"))));
  z.SetTrace(true);
  z.SetVerbose(true);
  EXPECT_EQ(z.Add(), 10601) << "the trace report stays in ErrCode after an engine that stored nothing";
  EXPECT_EQ(messages, (std::vector<std::string>{"0|ZIP DLL Loaded " + path, "0|Loaded ZipEngine ver: 180 from " + path}));
  EXPECT_EQ(z.Message(), "Loaded ZipEngine ver: 180 from " + path);
}

TEST_F(ZipArchiverTest, DllDirectoryWithTrailingSeparatorLoadsTheLibraryThere) {
  FakeEngine engine;
  AddSpecs({"/etc/hostname"});
  z.SetZipFileName(dir / "out.zip");
  z.SetDLLDirectory(FakeEngineDir("good") + PathDelim);
  EXPECT_EQ(z.DLLDirectory(), FakeEngineDir("good"));
  EXPECT_EQ(z.Add(), 0);
  EXPECT_EQ(engine.Log().execCalls, 1);
}

// Changes the process's current folder for one test.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::string& dir) : old_(fs::current_path()) { fs::current_path(FsPath(dir)); }
  ~ScopedCurrentDir() { fs::current_path(old_); }

 private:
  fs::path old_;
};

TEST_F(ZipArchiverTest, DotDirectoryFallsBackToTheProgramFolderAndPlainNameToTheSystemSearch) {
  // The program folder holds sub/ZIPENGINE.DLL (version 172) and, beside the program, an old one
  // (171); the current folder holds neither.
  CopyFile(FakeEnginePath("v172"), dir / "prog/sub/ZIPENGINE.DLL");
  CopyFile(FakeEnginePath("v171"), dir / "prog/ZIPENGINE.DLL");
  fs::create_directories(FsPath(dir / "cwd"));
  ProgramDirEnv env(Env::Platform(), dir / "prog/dravello");
  ScopedEnv scoped(env);
  ScopedCurrentDir cwd(dir / "cwd");
  const std::string progDir = Utf8Of(fs::canonical(FsPath(dir / "prog")));

  z.SetVerbose(true);
  z.SetZipFileName(dir / "out.zip");
  AddSpecs({"/etc/hostname"});
  z.SetDLLDirectory(Native("./sub"));
  EXPECT_EQ(z.Add(), 0);
  EXPECT_EQ(z.Message(), "Loaded ZipEngine ver: 172 from " + progDir + Native("/sub/ZIPENGINE.DLL"));

  // Without the dot the directory is not looked up beside the program: the bare name is, which
  // finds the library beside the program first.
  AddSpecs({"/etc/hostname"});
  z.SetDLLDirectory("sub");
  EXPECT_EQ(z.Add(), 10605);
  EXPECT_EQ(z.Message(), "Attempted to load old ZipEngine from " + progDir + Native("/ZIPENGINE.DLL"));

  // A library relative to the current folder comes first.
  CopyFile(FakeEnginePath("good"), dir / "cwd/sub/ZIPENGINE.DLL");
  AddSpecs({"/etc/hostname"});
  z.SetDLLDirectory(Native("./sub"));
  z.Add();  // ErrCode keeps the 10605 above: an engine that stores nothing does not reset it
  EXPECT_EQ(z.Message(),
            "Loaded ZipEngine ver: 180 from " + Utf8Of(fs::canonical(FsPath(dir / "cwd"))) + Native("/sub/ZIPENGINE.DLL"));
}

// ---- The command record -----------------------------------------------------------------------

TEST_F(ZipArchiverTest, CommandCarriesTheBackupToolsSettings) {
  FakeEngine engine;
  UseEngine("good");
  z.SetAddOptions(129 + 256 + 512);
  AddSpecs({"/data/a.txt", "/data/b.txt"});
  ASSERT_EQ(z.Add(), 0);
  ASSERT_EQ(engine.Log().execCalls, 1);
  const fake_engine::CommandCopy& copy = engine.Command();
  const ZipCommand& c = copy.raw;
  EXPECT_EQ(c.OwnerHandle, 0u);
  EXPECT_EQ(c.ComponentRef, &z);
  EXPECT_EQ(c.EngineVersion, 180);
  EXPECT_TRUE(copy.callbackIsComponents);
  EXPECT_EQ(c.TraceFlag, 0);
  EXPECT_FALSE(copy.password.has_value());
  EXPECT_EQ(copy.suffixes, kMainWindowSuffixes);
  EXPECT_EQ(c.EncryptFlag, 0);
  EXPECT_EQ(c.HiddenFilesFlag, -1);
  EXPECT_EQ(c.VolumeLabelFlag, 0);
  EXPECT_EQ(c.OmitDirEntries, -1);
  EXPECT_EQ(c.DateFilterFlag, 0);
  EXPECT_EQ(c.VerboseFlag, 0);
  EXPECT_EQ(c.QuietFlag, -1);
  EXPECT_EQ(c.CompressionLevel, 9);
  EXPECT_EQ(c.StripPaths, 0);
  EXPECT_EQ(c.RecurseFlag, 0);
  EXPECT_EQ(c.InPlaceFlag, -1);
  EXPECT_EQ(c.ForceDosFlag, 0);
  EXPECT_EQ(c.MoveFlag, 0);
  EXPECT_EQ(c.UpdateFlag, 0);
  EXPECT_EQ(c.FreshenFlag, 0);
  EXPECT_EQ(c.ArchiveTimeFlag, 0);
  EXPECT_EQ(std::string(c.FromDate, 8), "12 30 99") << "the zero date";
  EXPECT_EQ(c.SpecCount, 2);
  EXPECT_EQ(copy.archiveName, dir / "out.zip");
  EXPECT_FALSE(copy.tempDir.has_value());
  EXPECT_FALSE(copy.comment.has_value());
  EXPECT_EQ(c.ArchiveOnlyFlag, 1);
  EXPECT_EQ(c.ResetArchiveFlag, 1);
  EXPECT_EQ(c.ExcludeCount, 0);
  EXPECT_FALSE(copy.excludes.has_value());
  EXPECT_EQ(c.AllowUndoFlag, -1);
  EXPECT_EQ(c.CodePageCode, 0);
  EXPECT_EQ(c.CheckValue, 7);
  // Reserved fields stay zero.
  EXPECT_EQ(c.Reserved40 | c.Reserved64 | c.Reserved68 | c.Reserved78 | c.Reserved92 | c.Reserved104 | c.Reserved144, 0);
  for (int32_t r : c.Reserved156) EXPECT_EQ(r, 0);
  for (uint8_t r : c.Reserved194) EXPECT_EQ(r, 0);
  ASSERT_EQ(copy.specs.size(), 2u);
  EXPECT_EQ(copy.specs[1].text, "/data/b.txt");
  // After the add the lines are gone.
  EXPECT_EQ(z.FSpecArgs()->Count(), 0);
}

TEST_F(ZipArchiverTest, CommandFollowsEveryOptionTheOtherWay) {
  FakeEngine engine;
  UseEngine("good");
  z.SetUnattended(false);
  z.SetAddOptions(SetOf(AddRecurseDirs) | SetOf(AddMove) | SetOf(AddFreshen) | SetOf(AddUpdate) | SetOf(AddZipTime) |
                  SetOf(AddForceDOS) | SetOf(AddEncrypt) | SetOf(AddSeparateDirs) | SetOf(AddVolume) |
                  SetOf(AddFromDate) | SetOf(AddSafe));
  z.SetPassword(std::string(100, 'p'));
  z.SetTrace(true);
  z.SetAddCompLevel(3);
  z.SetAddFrom(EncodeDateTime({2004, 3, 15, 10, 0, 0, 0}));
  z.SetTempDir("/var/tmp");
  z.SetHowToDelete(htdFinal);
  z.SetCodePage(cpOEM);
  z.SetAddStoreSuffixes(0);
  AddSpecs({"/data/a.txt"});
  z.FSpecArgsExcl()->Add("*.bak");
  z.FSpecArgsExcl()->Add("*.tmp");
  z.Add();
  ASSERT_EQ(engine.Log().execCalls, 1);
  const fake_engine::CommandCopy& copy = engine.Command();
  const ZipCommand& c = copy.raw;
  EXPECT_EQ(c.OwnerHandle, 0x1234u) << "the owner window when not unattended";
  EXPECT_EQ(c.TraceFlag, -1);
  EXPECT_EQ(c.VerboseFlag, -1) << "trace turns verbose on";
  EXPECT_EQ(copy.password, std::string(81, 'p'));
  EXPECT_FALSE(copy.suffixes.has_value());
  EXPECT_EQ(c.EncryptFlag, -1);
  EXPECT_EQ(c.HiddenFilesFlag, 0);
  EXPECT_EQ(c.VolumeLabelFlag, -1);
  EXPECT_EQ(c.OmitDirEntries, 0);
  EXPECT_EQ(c.DateFilterFlag, -1);
  EXPECT_EQ(c.CompressionLevel, 3);
  EXPECT_EQ(c.StripPaths, -1);
  EXPECT_EQ(c.RecurseFlag, 0xFFFF);
  EXPECT_EQ(c.InPlaceFlag, 0);
  EXPECT_EQ(c.ForceDosFlag, -1);
  EXPECT_EQ(c.MoveFlag, -1);
  EXPECT_EQ(c.UpdateFlag, -1);
  EXPECT_EQ(c.FreshenFlag, 0) << "update wins over freshen";
  EXPECT_EQ(c.ArchiveTimeFlag, -1);
  EXPECT_EQ(std::string(c.FromDate, 8), "03 15 04");
  EXPECT_EQ(copy.tempDir, "/var/tmp");
  EXPECT_EQ(c.ArchiveOnlyFlag, 0);
  EXPECT_EQ(c.ResetArchiveFlag, 0);
  EXPECT_EQ(c.ExcludeCount, 2);
  EXPECT_EQ(copy.excludes, (std::vector<std::string>{"*.bak", "*.tmp"}));
  EXPECT_EQ(c.AllowUndoFlag, 0);
  EXPECT_EQ(c.CodePageCode, 2);
  EXPECT_EQ(z.FSpecArgsExcl()->Count(), 0);

  AddSpecs({"/data/a.txt"});
  z.SetAddOptions(SetOf(AddFreshen));
  z.Add();
  EXPECT_EQ(engine.Command().raw.FreshenFlag, -1);
}

TEST_F(ZipArchiverTest, FileSpecificationMarkers) {
  struct Case {
    const char* line;
    AddOpts options;
    const char* password;
    std::optional<std::string> text;
    uint16_t recurse;
    int32_t encrypt;
    std::optional<std::string> specPassword;
  };
  const AddOpts rec = SetOf(AddRecurseDirs), enc = SetOf(AddEncrypt);
  const std::vector<Case> cases = {
      {"/d/a.txt", 0, "", "/d/a.txt", 0, 0, std::nullopt},
      {"/d/a.txt", rec, "", "/d/a.txt", 0xFFFF, 0, std::nullopt},
      {">/d/*.txt", 0, "", "/d/*.txt", 0xFFFF, 0, std::nullopt},
      {"|/d/*.txt", rec, "", "/d/*.txt", 0, 0, std::nullopt},
      {"/d/a.txt<secret", 0, "", "/d/a.txt", 0, 0xFFFF, "secret"},
      {"/d/a.txt<", enc, "pw", "/d/a.txt<", 0, 0, std::nullopt},
      {"/d/a.txt", enc, "pw", "/d/a.txt", 0, -1, "pw"},
      {">x<p<q", enc, "pw", "x", 0xFFFF, 0xFFFF, "p<q"},
      {"|<pw", 0, "", "", 0, 0xFFFF, "pw"},
  };
  for (const Case& t : cases) {
    FakeEngine engine;
    TZipArchiver c(nullptr);
    c.SetUnattended(true);
    c.SetDLLDirectory(FakeEngineDir("good"));
    c.SetZipFileName(dir / "out.zip");
    c.SetAddOptions(t.options);
    c.SetPassword(t.password);
    c.FSpecArgs()->Add(t.line);
    c.Add();
    ASSERT_EQ(engine.Command().specs.size(), 1u) << t.line;
    const fake_engine::SpecCopy& s = engine.Command().specs[0];
    EXPECT_EQ(s.text, t.text) << t.line;
    EXPECT_EQ(s.recurse, t.recurse) << t.line;
    EXPECT_EQ(s.encrypt, t.encrypt) << t.line;
    EXPECT_EQ(s.password, t.specPassword) << t.line;
    EXPECT_FALSE(s.rootDir.has_value()) << t.line;
  }
}

TEST_F(ZipArchiverTest, LineNamingAnExistingFileIsTakenLiterally) {
  FakeEngine engine;
#ifdef _WIN32
  GTEST_SKIP() << "file names holding <, > or | cannot exist on Windows";
#endif
  WriteBytes(dir / "a<b.txt", "x");
  WriteBytes(dir / "root/>odd|name", "y");
  UseEngine("good");
  z.SetRootDir(dir / "root/sub/..");
  AddSpecs({dir / "a<b.txt", ">odd|name", dir / "missing<pw"});
  z.Add();
  const auto& specs = engine.Command().specs;
  ASSERT_EQ(specs.size(), 3u);
  EXPECT_EQ(specs[0].text, dir / "a<b.txt");
  EXPECT_EQ(specs[0].encrypt, 0);
  EXPECT_FALSE(specs[0].password.has_value());
  EXPECT_EQ(specs[1].text, ">odd|name") << "relative to the root folder";
  EXPECT_EQ(specs[1].recurse, 0);
  EXPECT_EQ(specs[2].text, dir / "missing") << "a line naming nothing keeps its markers' meaning";
  EXPECT_EQ(specs[2].password, "pw");
  // The root folder is passed on as a full path, the same for every record.
  EXPECT_EQ(specs[0].rootDir, dir / "root");
  EXPECT_EQ(specs[2].rootDir, dir / "root");
}

TEST_F(ZipArchiverTest, RelativeRootFolderIsExpandedFromTheCurrentFolder) {
  FakeEngine engine;
  UseEngine("good");
  z.SetRootDir(Native("some/rel"));
  AddSpecs({"x"});
  z.Add();
  ASSERT_EQ(engine.Command().specs.size(), 1u);
  EXPECT_EQ(engine.Command().specs[0].rootDir, Utf8Of(fs::current_path()) + Native("/some/rel"));
}

// ---- Results ----------------------------------------------------------------------------------

TEST_F(ZipArchiverTest, StoredFilesMakeTheDirectoryBeReadAgain) {
  FakeEngine engine;
  UseEngine("good");
  // The stand-in engine writes nothing; the archive it "wrote" is made here.
  WriteBytes(dir / "f1.txt", "one");
  ZipBuilder archive;
  archive.entries = {Entry("f1.txt", "one")};
  WriteBytes(dir / "out.zip", archive.Build());
  int dirUpdates = 0;
  z.OnDirUpdate = [&](TObject*) { ++dirUpdates; };
  AddSpecs({dir / "f1.txt"});
  z.FSpecArgsExcl()->Add("*.tmp");
  engine.SetScript({MakeStep(zcaMessage, 0x10B, 0, "some warning")}, 3);
  EXPECT_EQ(z.Add(), 0) << "the re-read resets ErrCode";
  EXPECT_EQ(z.AddedCount(), 3);
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_EQ(z.Count(), 1);
  EXPECT_EQ(z.FSpecArgs()->Count(), 0);
  EXPECT_EQ(z.FSpecArgsExcl()->Count(), 0);
  EXPECT_FALSE(z.EngineLoaded());
  EXPECT_FALSE(z.EngineRunning());
}

TEST_F(ZipArchiverTest, NothingStoredLeavesTheEnginesErrorCode) {
  FakeEngine engine;
  UseEngine("good");
  int dirUpdates = 0;
  z.OnDirUpdate = [&](TObject*) { ++dirUpdates; };
  AddSpecs({"/nothing"});
  engine.SetScript({MakeStep(zcaMessage, 0x10B, 0, "nothing to do  ")}, 0);
  EXPECT_EQ(z.Add(), 11);
  EXPECT_EQ(z.ErrCode(), 11);
  EXPECT_EQ(z.Message(), "nothing to do");
  EXPECT_EQ(messages.back(), "267|nothing to do") << "OnMessage gets the whole argument";
  EXPECT_EQ(dirUpdates, 0);
  EXPECT_EQ(z.AddedCount(), 0);
}

TEST_F(ZipArchiverTest, NegativeEngineResultIsAFatalErrorAndCleansUp) {
  AddSpecs({"/data/a"});
  z.FSpecArgsExcl()->Add("*.bak");
  UseEngine("failing");
  EXPECT_EQ(z.Add(), 10101);
  EXPECT_EQ(z.Message(), "Fatal Error in ZIPENGINE.DLL: abort exception");
  EXPECT_EQ(z.FSpecArgs()->Count(), 0);
  EXPECT_EQ(z.FSpecArgsExcl()->Count(), 0);
  EXPECT_FALSE(z.EngineLoaded());
  EXPECT_FALSE(z.EngineRunning());
  EXPECT_FALSE(z.AddRunning());
  // Ready for the next one.
  FakeEngine engine;
  AddSpecs({"/data/a"});
  UseEngine("good");
  EXPECT_EQ(z.Add(), 0);
}

TEST_F(ZipArchiverTest, SecondAddDuringTheEngineCallIsRefused) {
  FakeEngine engine;
  UseEngine("good");
  AddSpecs({"/data/a", "/data/b"});
  engine.SetScript({MakeStep(zcaMessage, 0x102, 0, "engine says"), MakeStep(zcaFileBegin, 0, 1, "/data/a")}, 0);
  int32_t inner = 0;
  int32_t errBefore = 0, errAfter = 0;
  std::string msgBefore, msgAfter;
  int linesBefore = 0, linesAfter = 0;
  bool busyDuringCall = false;
  z.OnProgress = [&](TObject*, ProgressType, const std::string&, uint32_t) {
    busyDuringCall = z.AddRunning() && z.EngineRunning();
    errBefore = z.ErrCode();
    msgBefore = z.Message();
    linesBefore = z.FSpecArgs()->Count();
    inner = z.Add();
    errAfter = z.ErrCode();
    msgAfter = z.Message();
    linesAfter = z.FSpecArgs()->Count();
  };
  z.Add();
  EXPECT_TRUE(busyDuringCall);
  EXPECT_EQ(inner, -255);
  EXPECT_EQ(errAfter, errBefore);
  EXPECT_EQ(msgAfter, msgBefore);
  EXPECT_EQ(linesBefore, 2);
  EXPECT_EQ(linesAfter, 2);
  EXPECT_EQ(engine.Log().execCalls, 1);
}

// ---- Callbacks --------------------------------------------------------------------------------

struct ProgressEvent {
  ProgressType type;
  std::string name;
  uint32_t size;
  bool operator==(const ProgressEvent&) const = default;
};

TEST_F(ZipArchiverTest, ProgressCallbacksBecomeProgressEvents) {
  FakeEngine engine;
  UseEngine("good");
  AddSpecs({"/data"});
  std::vector<ProgressEvent> events;
  z.OnProgress = [&](TObject* sender, ProgressType t, const std::string& n, uint32_t s) {
    EXPECT_EQ(sender, &z);
    events.push_back({t, n, s});
  };
  int ticks = 0;
  z.OnTick = [&](TObject*) { ++ticks; };
  std::vector<fake_engine::Step> steps = {
      MakeStep(zcaTotalFiles, 0, 2),
      MakeStep(zcaTotalBytes, 6, 300),
      MakeStep(zcaFileBegin, 0, 100, "home/ann/My Docs/a.txt   \t\r\n"),
      MakeStep(zcaBytesDone, 0, 100, "ignored"),
      MakeStep(zcaTick),
      MakeStep(zcaBatchEnd, 7),
      MakeStep(zcaBatchEnd, 0),
      MakeStep(zcaBatchEnd, 1),
      MakeStep(zcaBatchEnd, 2),
      MakeStep(zcaBatchEnd, 9),
      MakeStep(zcaBatchEnd, -4),
      MakeStep(zcaExtraData, 0, 0, "no handler"),
  };
  if (sizeof(uintptr_t) == 8) steps.push_back(MakeStep(zcaFileBegin, 0, static_cast<uintptr_t>(5) << 30, "big"));
  engine.SetScript(steps, 0);
  z.Add();
  std::vector<ProgressEvent> expected = {
      {ptTotalFiles, "", 2},
      {ptTotalBytes, "Copying", 300},
      {ptFileBegin, std::string("home") + PathDelim + "ann" + PathDelim + "My Docs" + PathDelim + "a.txt", 100},
      {ptBytesDone, "", 100},
      {ptBatchEnd, "Writing Central Directory", 0},
      {ptBatchEnd, "", 0},
      {ptBatchEnd, "Resetting Archive Bit", 0},
      {ptBatchEnd, "Copy file", 0},
      {ptBatchEnd, "Progress 9", 0},
      {ptBatchEnd, "", 0},
  };
  // A size above 4 GiB saturates instead of wrapping round to a small number.
  if (sizeof(uintptr_t) == 8) expected.push_back({ptFileBegin, "big", 0xFFFFFFFFu});
  EXPECT_EQ(events, expected);
  EXPECT_EQ(ticks, 1);
}

TEST_F(ZipArchiverTest, HandlerExceptionStopsTheEngineAndNamesTheEvent) {
  FakeEngine engine;
  UseEngine("good");
  AddSpecs({"/data"});
  int calls = 0;
  z.OnProgress = [&](TObject*, ProgressType, const std::string&, uint32_t) {
    ++calls;
    throw Exception(calls == 1 ? "disk on fire" : "second failure");
  };
  fake_engine::Step abortMessage = MakeStep(zcaMessage, 9, 0, "User abort");
  abortMessage.afterAbort = true;
  fake_engine::Step again = MakeStep(zcaBatchEnd, 7);
  again.afterAbort = true;
  engine.SetScript({MakeStep(zcaFileBegin, 0, 1, "a"), MakeStep(zcaFileBegin, 0, 1, "b"), again, abortMessage}, 0);
  EXPECT_EQ(z.Add(), 9);
  ASSERT_EQ(engine.Replies().size(), 3u);
  EXPECT_EQ(engine.Replies()[0].returned, -1) << "the exception asks the engine to stop";
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(z.EventErrorText(), " #1 \"disk on fire\"") << "the first failure is kept";
  EXPECT_EQ(z.Message(), "Exception in Event  #1 \"disk on fire\"");
  EXPECT_FALSE(z.AbortRequested()) << "cleared when the add ends";
}

TEST_F(ZipArchiverTest, MessageCallbacksSetErrCodeFromTheLowByte) {
  z.DispatchCallback(zcaMessage, 0, "just news", 0, nullptr);
  EXPECT_EQ(z.ErrCode(), 0);
  EXPECT_EQ(z.Message(), "just news");
  z.DispatchCallback(zcaMessage, 0x1FE, "bad/thing  ", 0, nullptr);
  EXPECT_EQ(z.ErrCode(), 0xFE);
  EXPECT_EQ(z.Message(), std::string("bad") + PathDelim + "thing");
  EXPECT_EQ(messages, (std::vector<std::string>{"0|just news", "510|bad" + std::string(1, PathDelim) + "thing"}));
  // Error 9 without a recorded handler failure keeps the engine's text.
  z.DispatchCallback(zcaMessage, 9, "User abort", 0, nullptr);
  EXPECT_EQ(z.Message(), "User abort");
}

ZipCallbackData Record(int32_t action, int32_t arg, uintptr_t value, const std::string& text, int32_t isZip = 0) {
  ZipCallbackData d;
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  d.ActionCode = action;
  d.ActionArg = arg;
  d.FileSize = value;
  d.IsZipAction = isZip;
  std::memcpy(d.Text, text.data(), std::min(text.size(), sizeof d.Text - 1));
  return d;
}

int32_t Callback(TZipArchiver& z, ZipCallbackData& d) {
  d.ComponentRef = &z;
  return EngineCallback(&d);
}

TEST_F(ZipArchiverTest, PasswordRequestAnsweredByTheEvent) {
  struct Case {
    TPasswordButton action;
    std::string password;
    uint32_t repeat;
    int32_t replyFlag;
    uintptr_t replyCount;
    std::string replyText;
    int32_t actionCode;
    int32_t returned;
  };
  const std::string longPassword = std::string(80, 'a') + std::string(20, 'b');
  for (const Case& t : {Case{pbOk, longPassword, 40, 1, 15, std::string(80, 'a'), zcaPassword, 0},
                        Case{pbOk, "short", 3, 1, 3, "short", zcaPassword, 0},
                        Case{pbOk, "", 3, 0, 0, "", zcaPassword, 0},
                        Case{pbCancel, "ignored", 3, 0, 0, "", zcaPassword, 0},
                        Case{pbCancelAll, "ignored", 3, 0, 0, "", 0, 0},
                        Case{pbAbort, "ignored", 3, 0, 0, "", zcaPassword, -1}}) {
    TZipArchiver c(nullptr);
    c.SetUi(&ui);
    bool sawZip = false;
    std::string forFile;
    c.OnPasswordError = [&](TObject*, bool isZip, std::string& pw, const std::string& ff, uint32_t& repeat,
                            TPasswordButton& act) {
      sawZip = isZip;
      forFile = ff;
      EXPECT_EQ(repeat, 7u);
      EXPECT_EQ(act, pbOk);
      pw = t.password;
      repeat = t.repeat;
      act = t.action;
    };
    ZipCallbackData d = Record(zcaPassword, 1, 7, "for/file  ", 1);
    EXPECT_EQ(Callback(c, d), t.returned);
    EXPECT_TRUE(sawZip);
    EXPECT_EQ(forFile, std::string("for") + PathDelim + "file");
    EXPECT_EQ(d.ActionArg, t.replyFlag) << t.password;
    EXPECT_EQ(d.FileSize, t.replyCount) << t.password;
    EXPECT_EQ(std::string(d.Text), t.replyText.empty() ? "for/file  " : t.replyText) << t.password;
    EXPECT_EQ(d.ActionCode, t.actionCode) << t.action;
  }
}

TEST_F(ZipArchiverTest, PasswordRequestWhileUnattendedIsRefused) {
  ZipCallbackData add = Record(zcaPassword, 1, 2, "f");
  EXPECT_EQ(Callback(z, add), 0);
  EXPECT_EQ(add.ActionArg, 0);
  EXPECT_EQ(add.FileSize, 0u);
  EXPECT_EQ(z.ErrCode(), 10150);
  ZipCallbackData extract = Record(zcaPassword, 0, 2, "f");
  Callback(z, extract);
  EXPECT_EQ(z.ErrCode(), 10151);
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(ZipArchiverTest, AddPasswordIsAskedTwiceAndCompared) {
  z.SetUnattended(false);
  using A = RecordingUi::Answer;
  ui.answers = {A{1, "Secret"}, A{1, "Secret"}};
  ZipCallbackData d = Record(zcaPassword, 1, 1, "f");
  Callback(z, d);
  EXPECT_EQ(std::string(d.Text), "Secret");
  EXPECT_EQ(d.ActionArg, 1);
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[0].title, "Password");
  EXPECT_EQ(ui.dialogs[0].prompt, "Enter Password ");
  EXPECT_EQ(ui.dialogs[1].prompt, "Confirm Password ");
  EXPECT_EQ(ui.dialogs[0].buttons, SetOf(pbOk) | SetOf(pbCancel));

  ui.dialogs.clear();
  ui.answers = {A{1, "Secret"}, A{1, "secret"}};
  d = Record(zcaPassword, 1, 1, "f");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 0) << "entries that differ in case do not match";
  EXPECT_EQ(z.ErrCode(), 10104);
  EXPECT_EQ(ui.shown.back(), "Error - passwords do NOT match\nPassword ignored");

  ui.dialogs.clear();
  ui.answers = {A{2, "typed"}};
  d = Record(zcaPassword, 1, 1, "f");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 0);
  EXPECT_EQ(ui.dialogs.size(), 1u) << "no confirmation after Cancel";
}

TEST_F(ZipArchiverTest, ExtractPasswordDialogOffersCancelAll) {
  z.SetUnattended(false);
  using A = RecordingUi::Answer;
  ui.answers = {A{1, "pw"}};
  ZipCallbackData d = Record(zcaPassword, 0, 4, "f");
  EXPECT_EQ(Callback(z, d), 0);
  EXPECT_EQ(std::string(d.Text), "pw");
  EXPECT_EQ(d.FileSize, 4u);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].buttons, SetOf(pbOk) | SetOf(pbCancel) | SetOf(pbCancelAll));

  ui.answers = {A{kPasswordResultCancelAll, "pw"}};
  d = Record(zcaPassword, 0, 4, "f");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 0);
  EXPECT_EQ(d.ActionCode, 0) << "cancel all";

  ui.answers = {A{kPasswordResultAbort, ""}};
  d = Record(zcaPassword, 0, 4, "f");
  EXPECT_EQ(Callback(z, d), -1) << "abort";
}

TEST_F(ZipArchiverTest, NewNameCrcOverwriteSkipCommentAndStreamReplies) {
  // 7: new name
  ZipCallbackData d = Record(zcaNewName, 5, 0, "old/name  ");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 5) << "no handler, no reply";
  z.OnSetNewName = [](TObject*, std::string& name, bool& changed) {
    EXPECT_FALSE(changed);
    changed = name == std::string("old") + PathDelim + "name";
    name = std::string(600, 'n');
  };
  d = Record(zcaNewName, 5, 0, "old/name  ");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 1);
  EXPECT_EQ(std::string(d.Text), std::string(512, 'n'));

  // 9: checksum error
  d = Record(zcaCrcError, 0x1234, 0x5678, "f");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 2);
  uint32_t found = 0, expected = 0;
  z.OnCRC32Error = [&](TObject*, const std::string&, uint32_t f, uint32_t e, bool& doExtract) {
    found = f;
    expected = e;
    EXPECT_TRUE(doExtract);
    doExtract = false;
  };
  d = Record(zcaCrcError, 0x1234, 0x5678, "f");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 0);
  EXPECT_EQ(found, 0x1234u);
  EXPECT_EQ(expected, 0x5678u);

  // 10: overwrite
  bool isOlder = false, initial = false;
  int32_t dirIndex = -1;
  z.OnExtractOverwrite = [&](TObject*, const std::string&, bool older, bool& doOverwrite, int32_t index) {
    isOlder = older;
    initial = doOverwrite;
    dirIndex = index;
    doOverwrite = !doOverwrite;
  };
  d = Record(zcaOverwrite, 0x10000 | 42, 0x101, "f");
  Callback(z, d);
  EXPECT_TRUE(isOlder);
  EXPECT_TRUE(initial);
  EXPECT_EQ(dirIndex, 42);
  EXPECT_EQ(d.FileSize, 0u);

  // 11: skipped
  int32_t skipType = 0, extError = 0;
  z.OnExtractSkipped = [&](TObject*, const std::string&, UnZipSkipTypes type, int32_t err) {
    skipType = type;
    extError = err;
  };
  d = Record(zcaSkipped, 0x203, 0x104, "f");
  Callback(z, d);
  EXPECT_EQ(z.ErrCode(), 3);
  EXPECT_EQ(skipType, 3);
  EXPECT_EQ(extError, 0x203);

  // 12: file comment, seeded with the byte the engine puts at offset 284
  std::string seen;
  z.OnFileComment = [&](TObject*, const std::string&, std::string& comment, bool& changed) {
    seen = comment;
    EXPECT_FALSE(changed);
    if (comment == "x") {
      comment = "new comment";
      changed = true;
    }
  };
  d = Record(zcaFileComment, 0, 0, "f");
  d.Text[256] = 'x';
  Callback(z, d);
  EXPECT_EQ(seen, "x");
  EXPECT_EQ(std::string(d.Text), "new comment");
  EXPECT_EQ(d.ActionArg, 1);
  EXPECT_EQ(d.FileSize, 11u);
  d = Record(zcaFileComment, 0, 0, "f");
  d.Text[256] = 'y';
  Callback(z, d);
  EXPECT_EQ(std::string(d.Text), "");
  EXPECT_EQ(d.ActionArg, 0);
  EXPECT_EQ(d.FileSize, 1u);

  // 13: stream size
  d = Record(zcaStreamSize, 0, 1000, "");
  Callback(z, d);
  EXPECT_EQ(z.ZipStream().Size(), 1000u);
  EXPECT_EQ(d.FileSize, reinterpret_cast<uintptr_t>(z.ZipStream().Memory()));
#ifndef __SANITIZE_ADDRESS__  // the sanitizer stops the program instead of failing the allocation
  d = Record(zcaStreamSize, 0, SIZE_MAX / 2, "");
  Callback(z, d);
  EXPECT_EQ(d.ActionArg, 1);
  EXPECT_EQ(d.FileSize, 0u);
  EXPECT_EQ(z.ZipStream().Size(), 1000u);
#endif
}

TEST_F(ZipArchiverTest, AfterCallbackHandlerReplacesMessageProcessing) {
  FakeEngine engine;
  UseEngine("good");
  std::vector<fake_engine::Step> steps = {MakeStep(zcaTotalFiles, 0, 3), MakeStep(zcaFileBegin, 0, 1, "a"),
                                          MakeStep(zcaTick), MakeStep(zcaFileBegin, 0, 1, "b")};
  engine.SetScript(steps, 0);
  AddSpecs({"/data"});
  z.Add();
  EXPECT_EQ(ui.processed, 4) << "every callback processes waiting messages";

  ui.processed = 0;
  int calls = 0;
  z.OnAfterCallback = [&](TObject*, bool& abort) {
    EXPECT_FALSE(abort);
    if (++calls == 2) abort = true;
  };
  engine.SetScript(steps, 0);
  AddSpecs({"/data"});
  z.Add();
  EXPECT_EQ(ui.processed, 0);
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(engine.Replies().size(), 2u);
  EXPECT_EQ(engine.Replies()[1].returned, -1) << "Abort set by the handler stops the engine";

  // A failing OnAfterCallback is contained like any handler.
  z.OnAfterCallback = [](TObject*, bool&) { throw Exception("late"); };
  engine.SetScript(steps, 0);
  AddSpecs({"/data"});
  EXPECT_NO_THROW(z.Add());
  EXPECT_EQ(z.EventErrorText(), " #5 \"late\"");
}

TEST_F(ZipArchiverTest, DesigningComponentDoesNotReadTheArchive) {
  WriteBytes(dir / "junk.zip", "not an archive at all, longer than twenty-two bytes");
  int dirUpdates = 0;
  z.OnDirUpdate = [&](TObject*) { ++dirUpdates; };
  z.SetComponentState(csDesigning);
  z.SetZipFileName(dir / "junk.zip");
  EXPECT_EQ(z.ZipFileName(), dir / "junk.zip");
  EXPECT_EQ(dirUpdates, 0);
  EXPECT_EQ(z.ErrCode(), 0);
}

TEST_F(ZipArchiverTest, BusyCursorNestsAndRestores) {
  ui.cursor = crIBeam;
  z.BeginBusyCursor();
  z.BeginBusyCursor();
  EXPECT_EQ(ui.cursor, crHourGlass);
  z.EndBusyCursor();
  EXPECT_EQ(ui.cursor, crHourGlass);
  z.EndBusyCursor();
  EXPECT_EQ(ui.cursor, crIBeam);
  z.EndBusyCursor();  // unbalanced: nothing
  EXPECT_EQ(ui.cursorChanges, (std::vector<int16_t>{crHourGlass, crIBeam}));
  ui.activeIsOurs = false;
  z.BeginBusyCursor();
  EXPECT_EQ(ui.cursor, crIBeam) << "another thread's window keeps its cursor";
}

}  // namespace
}  // namespace dravello
