#include "zip/ZipArchiver.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <exception>
#include <new>

#include "ui/Graphics.h"
#include "zip/ZipArchiverUi.h"
#include "zip/ZipMessages.h"

namespace dravello {

namespace {

constexpr const char* kEngineFileName = "ZIPENGINE.DLL";

// The suffix texts of assGIF .. assEXE, in member order.
constexpr std::array<const char*, 18> kSuffixTexts = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh",  "arj", "taz",
                                                      "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

int32_t Flag(bool condition) { return condition ? -1 : 0; }

// A callback value as the 32-bit unsigned number the events carry; larger values saturate
// rather than wrap, so a file above 4 GiB is not reported as a small one.
uint32_t Cardinal(uintptr_t value) {
  return static_cast<uint64_t>(value) > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

std::string MissingMessageText(int32_t id) {
  return "The message table is probably not linked to the executable\nMissing String ID is: " + IntToStr(id);
}

// Writes a reply text into the callback record: at most `max` characters, NUL-terminated.
void PutReplyText(ZipCallbackData* record, const std::string& text, size_t max) {
  size_t n = std::min({text.size(), max, sizeof record->Text - 1});
  std::memcpy(record->Text, text.data(), n);
  record->Text[n] = '\0';
}

template <class Fn>
Fn LookUp(DynamicLibrary& library, const char* name) {
  void* address = library.Symbol(name);
  Fn fn = nullptr;
  static_assert(sizeof fn == sizeof address);
  std::memcpy(&fn, &address, sizeof fn);
  return fn;
}

std::string ProgramDirectory() {
  try {
    return ExtractFilePath(Env::Default().ProgramFileName());
  } catch (const std::exception&) {
    return std::string();
  }
}

}  // namespace

// ---- Messages ---------------------------------------------------------------------------------

std::string StringTableText(int32_t id) {
  if (std::optional<std::string> text = ZipMessageTableText(id)) return *text;
  switch (id) {
    case zmOldZipEngine:
    case zmOldUnzipEngine:
      return "Old Dll from ";
    case zmSfxNotSupported:
      return "SFX not supported";
    case zmSpanNotSupported:
      return "Span not supported";
    default:
      return MissingMessageText(id);
  }
}

EZipArchiver EZipArchiver::CreateWithId(int32_t id, bool showToUser) {
  std::optional<std::string> text = ZipMessageTableText(id);
  return EZipArchiver(text ? *text : MissingMessageText(id), id, showToUser);
}

EZipArchiver EZipArchiver::CreateWithNumber(int32_t id, int64_t value) {
  return EZipArchiver(Format(StringTableText(id), {value}), id, true);
}

EZipArchiver EZipArchiver::CreateWithText(int32_t id, const std::string& text) {
  return EZipArchiver(Format(StringTableText(id), {text}), id, true);
}

// ---- Owned helper objects ---------------------------------------------------------------------

const TClass& TZipStream::StaticClass() {
  static const TClass info("TZipStream", &TObject::StaticClass());
  return info;
}

bool TZipStream::SetSize(size_t size) {
  if (size == size_) return true;
  std::unique_ptr<char[]> data;
  if (size > 0) {
    try {
      // Not value-initialised: a large buffer costs no memory until it is written.
      data = std::make_unique_for_overwrite<char[]>(size);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (size_ > 0) std::memcpy(data.get(), data_.get(), std::min(size, size_));
  }
  data_ = std::move(data);
  size_ = size;
  return true;
}

const TClass& TSFXProperties::StaticClass() {
  static const TClass info("TSFXProperties", &TObject::StaticClass());
  return info;
}

// ---- Published properties ---------------------------------------------------------------------

const TClass& TZipArchiver::StaticClass() {
  using Z = TZipArchiver;
  static const TClass info(
      "TZipArchiver", &TComponent::StaticClass(),
      {
          OrdProp<Z, int32_t>("AddCompLevel", &Z::AddCompLevel, &Z::SetAddCompLevel),
          SetProp<Z>("AddOptions", &Z::AddOptions, &Z::SetAddOptions,
                     {"AddDirNames", "AddRecurseDirs", "AddMove", "AddFreshen", "AddUpdate", "AddZipTime",
                      "AddForceDOS", "AddHiddenFiles", "AddArchiveOnly", "AddResetArchive", "AddEncrypt",
                      "AddSeparateDirs", "AddVolume", "AddFromDate", "AddSafe", "AddDiskSpan", "AddDiskSpanErase"}),
          FloatProp<Z>("AddFrom", &Z::AddFrom, &Z::SetAddFrom),
          SetProp<Z>("AddStoreSuffixes", &Z::AddStoreSuffixes, &Z::SetAddStoreSuffixes,
                     {"assGIF", "assPNG", "assZ", "assZIP", "assZOO", "assARC", "assLZH", "assARJ", "assTAZ", "assTGZ",
                      "assLHA", "assRAR", "assACE", "assCAB", "assGZ", "assGZIP", "assJAR", "assEXE", "assEXT"}),
          StringProp<Z>("ExtAddStoreSuffixes", &Z::ExtAddStoreSuffixes, &Z::SetExtAddStoreSuffixes),
          ObjectProp<Z, TStringList>("FSpecArgs", &Z::FSpecArgs, &Z::SetFSpecArgs),
          ObjectProp<Z, TStringList>("FSpecArgsExcl", &Z::FSpecArgsExcl, &Z::SetFSpecArgsExcl),
          StringProp<Z>("ZipFileName", &Z::ZipFileName, &Z::SetZipFileName),
          StringProp<Z>("Password", &Z::Password, &Z::SetPassword),
          StringProp<Z>("RootDir", &Z::RootDir, &Z::SetRootDir),
          StringProp<Z>("TempDir", &Z::TempDir, &Z::SetTempDir),
          StringProp<Z>("DLLDirectory", &Z::DLLDirectory, &Z::SetDLLDirectory),
          OrdProp<Z, int32_t>("MinZipEngineVers", &Z::MinZipEngineVers, &Z::SetMinZipEngineVers),
          OrdProp<Z, int32_t>("MinUnzEngineVers", &Z::MinUnzEngineVers, &Z::SetMinUnzEngineVers),
          BoolProp<Z>("Unattended", &Z::Unattended, &Z::SetUnattended),
          BoolProp<Z>("Verbose", &Z::Verbose, &Z::SetVerbose),
          BoolProp<Z>("Trace", &Z::Trace, &Z::SetTrace),
          EnumProp<Z, CodePageOpts>("CodePage", &Z::CodePage, &Z::SetCodePage, {"cpAuto", "cpNone", "cpOEM"}),
          EnumProp<Z, DeleteOpts>("HowToDelete", &Z::HowToDelete, &Z::SetHowToDelete, {"htdFinal", "htdAllowUndo"}),
          StringProp<Z>("VersionInfo", &Z::VersionInfo, &Z::SetVersionInfo),
          StringProp<Z>("ExtrBaseDir", &Z::ExtrBaseDir, &Z::SetExtrBaseDir),
          SetProp<Z>("ExtrOptions", &Z::ExtrOptions, &Z::SetExtrOptions,
                     {"ExtrDirNames", "ExtrOverWrite", "ExtrFreshen", "ExtrUpdate", "ExtrTest"}),
          OrdProp<Z, uint32_t>("PasswordReqCount", &Z::PasswordReqCount, &Z::SetPasswordReqCount),
          BoolProp<Z>("UseDirOnlyEntries", &Z::UseDirOnlyEntries, &Z::SetUseDirOnlyEntries),
          SetProp<Z>("SpanOptions", &Z::SpanOptions, &Z::SetSpanOptions,
                     {"spNoVolumeName", "spCompatName", "spNoCompatName", "spWipeFiles", "spTryFormat"}),
          BoolProp<Z>("ConfirmErase", &Z::ConfirmErase, &Z::SetConfirmErase),
          OrdProp<Z, int32_t>("KeepFreeOnDisk1", &Z::KeepFreeOnDisk1, &Z::SetKeepFreeOnDisk1),
          OrdProp<Z, int32_t>("KeepFreeOnAllDisks", &Z::KeepFreeOnAllDisks, &Z::SetKeepFreeOnAllDisks),
          OrdProp<Z, int32_t>("MaxVolumeSize", &Z::MaxVolumeSize, &Z::SetMaxVolumeSize),
          OrdProp<Z, int32_t>("MinFreeVolumeSize", &Z::MinFreeVolumeSize, &Z::SetMinFreeVolumeSize),
          StringProp<Z>("SFXCaption", &Z::SFXCaption, &Z::SetSFXCaption),
          StringProp<Z>("SFXCommandLine", &Z::SFXCommandLine, &Z::SetSFXCommandLine),
          StringProp<Z>("SFXDefaultDir", &Z::SFXDefaultDir, &Z::SetSFXDefaultDir),
          StringProp<Z>("SFXMessage", &Z::SFXMessage, &Z::SetSFXMessage),
          StringProp<Z>("SFXPath", &Z::SFXPath, &Z::SetSFXPath),
          SetProp<Z>("SFXOptions", &Z::SFXOptions, &Z::SetSFXOptions, {}),
          OrdProp<Z, int32_t>("SFXOverWriteMode", &Z::SFXOverWriteMode, &Z::SetSFXOverWriteMode),
          OpaqueProp("OnProgress", TTypeKind::tkMethod),
          OpaqueProp("OnMessage", TTypeKind::tkMethod),
          OpaqueProp("OnDirUpdate", TTypeKind::tkMethod),
          OpaqueProp("OnSetNewName", TTypeKind::tkMethod),
          OpaqueProp("OnPasswordError", TTypeKind::tkMethod),
          OpaqueProp("OnFileComment", TTypeKind::tkMethod),
          OpaqueProp("OnAfterCallback", TTypeKind::tkMethod),
          OpaqueProp("OnTick", TTypeKind::tkMethod),
          OpaqueProp("OnNewName", TTypeKind::tkMethod),
          OpaqueProp("OnCRC32Error", TTypeKind::tkMethod),
          OpaqueProp("OnExtractOverwrite", TTypeKind::tkMethod),
          OpaqueProp("OnExtractSkipped", TTypeKind::tkMethod),
          OpaqueProp("OnCopyZipOverwrite", TTypeKind::tkMethod),
          OpaqueProp("OnGetNextDisk", TTypeKind::tkMethod),
          OpaqueProp("OnStatusDisk", TTypeKind::tkMethod),
      });
  return info;
}

// ---- Life cycle -------------------------------------------------------------------------------

// The texts a running command points to; they live until ZipEngineExec has returned.
struct TZipArchiver::CommandBuffers {
  ZipCommand command;
  std::string password;
  std::string suffixes;
  std::string archiveName;
  std::string tempDir;
  std::string comment;
  std::string rootDir;
  std::deque<std::string> specTexts;  // a deque keeps its elements in place as it grows
  std::deque<std::string> specPasswords;
  std::vector<ZipFileSpec> specs;
  std::deque<std::string> excludeTexts;
  std::vector<const char*> excludes;

  CommandBuffers() { std::memset(static_cast<void*>(&command), 0, sizeof command); }
};

TZipArchiver::TZipArchiver(TComponent* owner)
    : TComponent(owner),
      fSpecArgs_(std::make_unique<TStringList>()),
      fSpecArgsExcl_(std::make_unique<TStringList>()),
      sfx_(std::make_unique<TSFXProperties>()),
      zipStream_(std::make_unique<TZipStream>()) {
  ownerWindow_ = Ui().OwnerWindow();
}

TZipArchiver::~TZipArchiver() {
  UnloadEngine();
  unzipEngine_.reset();
  ClearZipContents();
}

void TZipArchiver::SetUi(TZipArchiverUi* ui) {
  ui_ = ui;
  ownerWindow_ = Ui().OwnerWindow();
}

TZipArchiverUi& TZipArchiver::Ui() const { return ui_ ? *ui_ : TZipArchiverUi::Default(); }

// ---- Setters with rules -----------------------------------------------------------------------

void TZipArchiver::SetExtAddStoreSuffixes(const std::string& v) {
  if (v.empty()) {
    addStoreSuffixes_ &= ~SetOf(assEXT);
    extAddStoreSuffixes_.clear();
    return;
  }
  std::string out;
  std::string rest = v;
  while (!rest.empty()) {
    size_t p = rest.find_first_of(";,:");
    std::string item = rest.substr(0, p);
    rest = p == std::string::npos ? std::string() : rest.substr(p + 1);
    if (item.empty() || item[0] != '.') item.insert(item.begin(), '.');
    out += item;
    out += ':';
  }
  extAddStoreSuffixes_ = LowerCaseAscii(out);
  addStoreSuffixes_ |= SetOf(assEXT);
}

void TZipArchiver::SetFSpecArgs(TStringList* lines) {
  if (lines == fSpecArgs_.get()) return;
  fSpecArgs_->BeginUpdate();
  fSpecArgs_->Clear();
  if (lines) {
    fSpecArgs_->SetCapacity(lines->Count());
    for (const std::string& line : *lines) fSpecArgs_->Add(line);
  }
  fSpecArgs_->EndUpdate();
}

void TZipArchiver::TakeFSpecArgs(TStringList& lines) {
  for (int i = 0; i < lines.Count(); ++i)
    if (lines.Objects(i)) {
      SetFSpecArgs(&lines);
      lines.Clear();
      return;
    }
  fSpecArgs_->TakeStrings(lines);
}

void TZipArchiver::SetFSpecArgsExcl(TStringList* lines) {
  if (lines == fSpecArgsExcl_.get()) return;
  fSpecArgsExcl_->BeginUpdate();
  fSpecArgsExcl_->Clear();
  if (lines)
    for (const std::string& line : *lines) fSpecArgsExcl_->Add(line);
  fSpecArgsExcl_->EndUpdate();
}

void TZipArchiver::SetZipFileName(const std::string& name) {
  zipFileName_ = name;
  if ((ComponentState() & csDesigning) == 0) List();
}

void TZipArchiver::SetDLLDirectory(const std::string& v) {
  if (v == dllDirectory_) return;
  dllDirectory_ = v;
  if (dllDirectory_.size() > 1 && dllDirectory_.back() == PathDelim) dllDirectory_.pop_back();
}

void TZipArchiver::SetMinZipEngineVers(int32_t v) {
  if (v >= 172) minZipEngineVers_ = v;
}

void TZipArchiver::SetMinUnzEngineVers(int32_t v) {
  if (v >= 172) minUnzEngineVers_ = v;
}

void TZipArchiver::SetPasswordReqCount(uint32_t v) {
  if (v != passwordReqCount_) passwordReqCount_ = std::min<uint32_t>(v, 15);
}

// ---- Reporting --------------------------------------------------------------------------------

void TZipArchiver::ReportMessage(int32_t id, const std::string& extra) {
  std::string text = StringTableText(id) + extra;
  message_ = text;
  errCode_ = id;
  if (!unattended_) Ui().ShowMessage(text);
  if (OnMessage) OnMessage(this, 0, text);
}

void TZipArchiver::ReportException(const EZipArchiver& e) {
  if (e.ShowToUser && !unattended_) Ui().ShowMessage(e.Message());
  errCode_ = e.ResourceId;
  message_ = e.Message();
  if (OnMessage) OnMessage(this, errCode_, message_);
}

// ---- Add --------------------------------------------------------------------------------------

std::string TZipArchiver::BuildSuffixList() const {
  std::string list;
  for (uint32_t m = assGIF; m <= assEXE; ++m)
    if (InSet(addStoreSuffixes_, m)) {
      list += '.';
      list += kSuffixTexts[m];
      list += ':';
    }
  if (InSet(addStoreSuffixes_, assEXT)) list += extAddStoreSuffixes_;
  if (!list.empty()) list.pop_back();
  return list;
}

int32_t TZipArchiver::Add() {
  if (addRunning_ || engineRunning_ || unzipRunning_) return -255;
  addRunning_ = true;
  try {
    RunAddSteps();
  } catch (...) {
    addRunning_ = false;
    throw;
  }
  addRunning_ = false;
  return errCode_;
}

void TZipArchiver::RunAddSteps() {
  addedCount_ = 0;
  if (fSpecArgs_->Count() == 0) return ReportMessage(zmNoFilesToZip);
  if (InSet(addOptions_, AddDiskSpanErase)) {
    addOptions_ |= SetOf(AddDiskSpan);
    spanOptions_ |= SetOf(spWipeFiles);
  }
  if (zipFileName_.empty()) return ReportMessage(zmNoZipFile);
  if (unattended_ && InSet(addOptions_, AddEncrypt) && password_.empty()) return ReportMessage(zmUnattendedNoPassword);

  const bool exeTarget = UpperCaseAscii(ExtractFileExt(zipFileName_)) == ".EXE";
  if (InSet(addOptions_, AddDiskSpan)) {
    if (InSet(addOptions_, AddFreshen) || InSet(addOptions_, AddUpdate)) return ReportMessage(zmUpdateOnSpanned);
    if (exeTarget) return ReportMessage(zmSfxNotSpannable);
    // This program has no machinery to write an archive across removable disks.
    return ReportMessage(zmSpanNotSupported);
  }
  const std::string target = zipFileName_;
  // Nor does it build self-extractors: a new ".exe" archive would need one.
  if (exeTarget && prefixSize_ == 0 && !Env::Default().FileExists(zipFileName_)) return ReportMessage(zmSfxNotSupported);

  bool loadedHere = false;
  const int32_t version = LoadEngine(loadedHere);
  if (version == 0) return;

  engineRunning_ = true;
  abortRequested_ = false;
  std::exception_ptr escaped;
  try {
    command_ = std::make_unique<CommandBuffers>();
    BuildCommand(*command_, target, version);
    BuildFileSpecs(*command_);
    command_->command.SpecCount = fSpecArgs_->Count();
    command_->command.CheckValue = 7;
    eventErrorText_.clear();
    addedCount_ = engineExec_(&command_->command);
    if (addedCount_ < 0) throw Exception("The zip engine failed with result " + IntToStr(addedCount_));
  } catch (...) {
    try {
      ReportMessage(zmEngineAbort);
    } catch (...) {
      escaped = std::current_exception();
    }
  }
  // Whatever happened, the component is made ready for the next Add; a failure of the host's
  // list observers must not keep the engine loaded.
  try {
    fSpecArgs_->Clear();
    fSpecArgsExcl_->Clear();
  } catch (...) {
    if (!escaped) escaped = std::current_exception();
  }
  command_.reset();
  if (loadedHere) UnloadEngine();
  abortRequested_ = false;
  engineRunning_ = false;
  if (escaped) std::rethrow_exception(escaped);

  // The file list, the command and the engine's working space are gone; reading the new
  // directory starts from what is still in use.
  Env::Default().ReleaseFreedMemory();
  if (addedCount_ > 0) List();
}

void TZipArchiver::BuildCommand(CommandBuffers& b, const std::string& target, int32_t engineVersion) const {
  ZipCommand& c = b.command;
  auto has = [this](AddOptsEnum m) { return InSet(addOptions_, m); };
  c.OwnerHandle = unattended_ ? 0 : ownerWindow_;
  c.ComponentRef = const_cast<TZipArchiver*>(this);
  c.EngineVersion = engineVersion;
  c.CallbackProc = &EngineCallback;
  c.TraceFlag = Flag(trace_);
  if (!password_.empty()) {
    b.password = password_.substr(0, 81);
    c.PasswordText = b.password.c_str();
  }
  b.suffixes = BuildSuffixList();
  if (!b.suffixes.empty()) c.StoreSuffixText = b.suffixes.c_str();
  c.EncryptFlag = Flag(has(AddEncrypt));
  c.HiddenFilesFlag = Flag(has(AddHiddenFiles));
  c.VolumeLabelFlag = Flag(has(AddVolume));
  c.OmitDirEntries = Flag(!has(AddSeparateDirs));
  c.DateFilterFlag = Flag(has(AddFromDate));
  c.VerboseFlag = Flag(verbose_ || trace_);
  c.QuietFlag = -1;
  c.CompressionLevel = addCompLevel_;
  c.StripPaths = Flag(!has(AddDirNames));
  c.RecurseFlag = has(AddRecurseDirs) ? 0xFFFF : 0;
  c.InPlaceFlag = Flag(!has(AddSafe));
  c.ForceDosFlag = Flag(has(AddForceDOS));
  c.MoveFlag = Flag(has(AddMove));
  c.UpdateFlag = Flag(has(AddUpdate));
  c.FreshenFlag = Flag(has(AddFreshen) && !has(AddUpdate));
  c.ArchiveTimeFlag = Flag(has(AddZipTime));
  const std::string fromDate = FormatDateTime("mm dd yy", addFrom_);
  std::memcpy(c.FromDate, fromDate.data(), std::min(fromDate.size(), sizeof c.FromDate));
  b.archiveName = target;
  c.ArchiveName = b.archiveName.c_str();
  if (!tempDir_.empty()) {
    b.tempDir = tempDir_;
    c.TempDirText = b.tempDir.c_str();
  }
  if (!archiveComment_.empty()) {
    b.comment = archiveComment_;
    c.CommentText = b.comment.c_str();
  }
  c.ArchiveOnlyFlag = has(AddArchiveOnly) ? 1 : 0;
  c.ResetArchiveFlag = has(AddResetArchive) ? 1 : 0;
  c.ExcludeCount = fSpecArgsExcl_->Count();
  for (const std::string& line : *fSpecArgsExcl_) b.excludes.push_back(b.excludeTexts.emplace_back(line).c_str());
  c.Excludes = b.excludes.empty() ? nullptr : b.excludes.data();
  c.AllowUndoFlag = Flag(howToDelete_ == htdAllowUndo);
  c.CodePageCode = codePage_ == cpOEM ? 2 : 0;
}

void TZipArchiver::BuildFileSpecs(CommandBuffers& b) const {
  const ZipCommand& c = b.command;
  Env& env = Env::Default();
  if (!rootDir_.empty()) b.rootDir = env.ExpandFileName(rootDir_);
  b.specs.resize(static_cast<size_t>(fSpecArgs_->Count()));
  if (!b.specs.empty()) std::memset(static_cast<void*>(b.specs.data()), 0, b.specs.size() * sizeof(ZipFileSpec));

  // A line that names an existing file as it stands is that file: on file systems that allow
  // "<", ">" and "|" in names, a backed-up file must not be mistaken for a marked line.
  auto namesExistingFile = [&](const std::string& s) {
    if (s.find_first_of("<>|") == std::string::npos) return false;
    if (env.Stat(s).Exists()) return true;
    return !b.rootDir.empty() && ExtractFileDrive(s).empty() && env.Stat(JoinPath(b.rootDir, s)).Exists();
  };

  size_t i = 0;
  for (const std::string& s : *fSpecArgs_) {
    ZipFileSpec& spec = b.specs[i++];
    uint16_t recurse = c.RecurseFlag;
    size_t first = 1;
    size_t last = s.size();
    int32_t encrypt = c.EncryptFlag;
    const char* password = c.PasswordText;
    if (!namesExistingFile(s)) {
      if (!s.empty() && s[0] == '>') {
        recurse = 0xFFFF;
        first = 2;
      } else if (!s.empty() && s[0] == '|') {
        recurse = 0;
        first = 2;
      }
      size_t p = s.find('<');  // 0-based, while first and last count from 1
      if (p != std::string::npos) {
        encrypt = 0xFFFF;
        password = nullptr;
        if (p + 1 < s.size()) {
          password = b.specPasswords.emplace_back(s.substr(p + 1)).c_str();
          last = p;
        } else {
          encrypt = 0;
        }
      }
    }
    // A line without markers is passed as it stands (the list outlives the engine's work): a
    // backup names every file, and a copy of each name would double the memory it takes.
    if (first == 1 && last == s.size())
      spec.SpecText = s.c_str();
    else
      spec.SpecText =
          b.specTexts.emplace_back(last >= first ? s.substr(first - 1, last - first + 1) : std::string()).c_str();
    spec.SpecPassword = password;
    spec.SpecEncrypt = encrypt;
    spec.SpecRecurse = recurse;
    spec.SpecRootDir = b.rootDir.empty() ? nullptr : b.rootDir.c_str();
  }
  b.command.Specs = b.specs.empty() ? nullptr : b.specs.data();
}

// ---- The engine library -----------------------------------------------------------------------

std::string JoinPath(const std::string& dir, const std::string& name) {
#ifdef _WIN32
  const bool driveOnly = !dir.empty() && dir.back() == ':';
#else
  const bool driveOnly = false;
#endif
  if (dir.empty() || driveOnly || name.empty()) return dir + name;
  const bool dirHas = dir.back() == PathDelim;
  const bool nameHas = name.front() == PathDelim;
  if (dirHas && nameHas) return dir + name.substr(1);
  if (dirHas || nameHas) return dir + name;
  return dir + PathDelim + name;
}

int32_t TZipArchiver::LoadEngine(bool& loadedHere) {
  loadedHere = false;
  int32_t version = 0;
  if (engine_) {
    version = engineVersion_ ? engineVersion_() : 0;
    if (version < 0) throw ERangeError("Range check error");
  } else {
    version = LoadEngineFile();
    loadedHere = version != 0;
  }
  if (version != 0 && version < minZipEngineVers_) {
    ReportMessage(zmOldZipEngine, EngineModulePath());
    UnloadEngine();
    version = 0;
    loadedHere = false;
  } else if (version != 0 && verbose_) {
    DispatchCallback(zcaMessage, 0, "Loaded ZipEngine ver: " + IntToStr(version) + " from " + EngineModulePath(), 0,
                     nullptr);
  }
  return version;
}

int32_t TZipArchiver::LoadEngineFile() {
  Env& env = Env::Default();
  std::string path;
  if (!dllDirectory_.empty()) {
    path = JoinPath(dllDirectory_, std::string(1, PathDelim) + kEngineFileName);
    if (!env.FileExists(path)) {
      path = JoinPath(ProgramDirectory(), path);
      if (!(dllDirectory_[0] == '.' && env.FileExists(path))) path.clear();
    }
  }
  if (path.empty()) {
    // The bare name: the program's own folder first, then the system's library search.
    std::string beside = ProgramDirectory() + kEngineFileName;
    path = !ProgramDirectory().empty() && env.FileExists(beside) ? beside : std::string(kEngineFileName);
  }

  std::string why;
  try {
    engine_ = env.OpenLibrary(path, &why);
  } catch (const std::exception&) {
    engine_.reset();
  }
  if (!engine_) {
    ReportMessage(zmEngineNotFound);
  } else {
    try {
      if (trace_) ReportMessage(zmEngineLoaded, " " + EngineModulePath());
      engineExec_ = LookUp<ZipEngineExecFn>(*engine_, "ZipEngineExec");
      if (!engineExec_) ReportMessage(zmNoExecFunction);
      engineVersion_ = LookUp<GetZipEngineVersionFn>(*engine_, "GetZipEngineVersion");
      if (!engineVersion_) ReportMessage(zmNoVersionFunction);
    } catch (...) {
      // A host handler that fails while the load is reported does not stop the load.
    }
  }

  int32_t version = 0;
  if (engine_ && engineExec_ && engineVersion_) version = engineVersion_();
  if (version < 0) {
    // Released first, so that a broken library does not stay loaded after the failure.
    UnloadEngine();
    throw ERangeError("Range check error");
  }
  if (version == 0) {
    UnloadEngine();
    ReportMessage(zmEngineNotFound, " unloaded");
  }
  return version;
}

void TZipArchiver::UnloadEngine() {
  engineExec_ = nullptr;
  engineVersion_ = nullptr;
  engine_.reset();
}

std::string TZipArchiver::EngineModulePath() const { return engine_ ? engine_->Path() : std::string(); }

// ---- Callbacks --------------------------------------------------------------------------------

std::string TZipArchiver::CallbackText(const std::string& text) {
  std::string out = TrimRight(text);
  std::replace(out.begin(), out.end(), '/', PathDelim);
  return out;
}

std::string TZipArchiver::PhaseText(int32_t n) {
  switch (n) {
    case 1:
      return "Resetting Archive Bit";
    case 2:
      return "Copy file";
    case 6:
      return "Copying";
    case 7:
      return "Writing Central Directory";
    default:
      return n > 0 ? "Progress " + IntToStr(n) : std::string();
  }
}

void TZipArchiver::RecordEventError(int32_t action, const std::string& text) {
  if (eventErrorText_.empty()) eventErrorText_ = " #" + IntToStr(action) + " \"" + text + "\"";
  abortRequested_ = true;
}

bool TZipArchiver::DispatchCallback(int32_t action, int32_t argument, const std::string& text, uintptr_t value,
                                    ZipCallbackData* record) {
  try {
    switch (action) {
      case zcaTick:
        if (OnTick) OnTick(this);
        break;
      case zcaFileBegin:
        if (OnProgress) OnProgress(this, ptFileBegin, CallbackText(text), Cardinal(value));
        break;
      case zcaBytesDone:
        if (OnProgress) OnProgress(this, ptBytesDone, std::string(), Cardinal(value));
        break;
      case zcaBatchEnd:
        if (OnProgress) OnProgress(this, ptBatchEnd, PhaseText(argument), 0);
        break;
      case zcaMessage:
        message_ = CallbackText(text);
        if (argument != 0) {
          errCode_ = argument & 255;
          if (errCode_ == zecAborted && !eventErrorText_.empty()) message_ = "Exception in Event " + eventErrorText_;
        }
        if (OnMessage) OnMessage(this, argument, message_);
        break;
      case zcaTotalFiles:
        if (OnProgress) OnProgress(this, ptTotalFiles, PhaseText(argument), Cardinal(value));
        break;
      case zcaTotalBytes:
        if (OnProgress) OnProgress(this, ptTotalBytes, PhaseText(argument), Cardinal(value));
        break;
      case zcaNewName:
        if (OnSetNewName) {
          std::string name = CallbackText(text);
          bool changed = false;
          OnSetNewName(this, name, changed);
          if (record) {
            if (changed) PutReplyText(record, name, 512);
            record->ActionArg = changed ? 1 : 0;
          }
        }
        break;
      case zcaPassword: {
        std::string answer;
        uint32_t repeatCount = Cardinal(value);
        bool cancelAll = false;
        bool abort = false;
        if (OnPasswordError) {
          TPasswordButton act = pbOk;
          OnPasswordError(this, record && record->IsZipAction != 0, answer, CallbackText(text), repeatCount, act);
          if (act != pbOk) answer.clear();
          cancelAll = act == pbCancelAll;
          abort = act == pbAbort;
        } else {
          passwordModalResult_ = 0;
          answer = (argument & 1) ? AskAddPassword() : AskExtractPassword();
          cancelAll = passwordModalResult_ == kPasswordResultCancelAll;
          abort = passwordModalResult_ == kPasswordResultAbort;
        }
        if (answer.empty()) repeatCount = 0;
        if (record) {
          if (!answer.empty()) PutReplyText(record, answer, 80);
          record->ActionArg = answer.empty() ? 0 : 1;
          record->FileSize = std::min<uint32_t>(repeatCount, 15);
          if (cancelAll) record->ActionCode = 0;
        }
        if (abort) abortRequested_ = true;
        break;
      }
      case zcaCrcError: {
        bool doExtract = true;
        if (OnCRC32Error) {
          OnCRC32Error(this, CallbackText(text), static_cast<uint32_t>(argument), Cardinal(value), doExtract);
          if (record) record->ActionArg = doExtract ? 1 : 0;
        } else if (record) {
          record->ActionArg = 2;
        }
        break;
      }
      case zcaOverwrite:
        if (OnExtractOverwrite) {
          bool doOverwrite = (value & 0xFF) != 0;
          OnExtractOverwrite(this, CallbackText(text), (argument & 0x10000) != 0, doOverwrite, argument & 0xFFFF);
          if (record) record->FileSize = doOverwrite ? 1 : 0;
        }
        break;
      case zcaSkipped:
        if (argument != 0) {
          errCode_ = argument & 255;
          if (OnExtractSkipped)
            OnExtractSkipped(this, CallbackText(text), static_cast<int32_t>(value & 255) - 1, argument);
        }
        break;
      case zcaFileComment:
        if (OnFileComment) {
          std::string comment;
          if (record && ZipCallbackCommentSeed(record) != '\0') comment.assign(1, ZipCallbackCommentSeed(record));
          bool changed = false;
          OnFileComment(this, CallbackText(text), comment, changed);
          if (record) {
            if (changed && !comment.empty())
              PutReplyText(record, comment, 511);
            else
              record->Text[0] = '\0';
            record->ActionArg = changed ? 1 : 0;
            record->FileSize = std::min<size_t>(comment.size(), 511);
          }
        }
        break;
      case zcaStreamSize:
        if (zipStream_->SetSize(value)) {
          if (record) record->FileSize = reinterpret_cast<uintptr_t>(zipStream_->Memory());
        } else if (record) {
          record->ActionArg = 1;
          record->FileSize = 0;
        }
        break;
      default:  // 14 (extra data) has no handler in this program
        break;
    }
  } catch (const std::exception& e) {
    RecordEventError(action, e.what());
  } catch (...) {
    RecordEventError(action, "unknown exception");
  }
  AfterCallback(action);
  return abortRequested_;
}

void TZipArchiver::AfterCallback(int32_t action) {
  try {
    if (OnAfterCallback) {
      bool abort = abortRequested_;
      OnAfterCallback(this, abort);
      if (abort) abortRequested_ = true;
    } else {
      Ui().ProcessMessages();
    }
  } catch (const std::exception& e) {
    RecordEventError(action, e.what());
  } catch (...) {
    RecordEventError(action, "unknown exception");
  }
}

extern "C" int32_t ZIPENGINE_CALL EngineCallback(ZipCallbackData* data) {
  if (data == nullptr || data->ComponentRef == nullptr) return 0;
  auto* self = static_cast<TZipArchiver*>(data->ComponentRef);
  // The engine's text is read only up to the end of its field, terminated or not.
  const std::string text(data->Text, strnlen(data->Text, sizeof data->Text));
  try {
    return self->DispatchCallback(data->ActionCode, data->ActionArg, text, data->FileSize, data) ? -1 : 0;
  } catch (...) {
    return -1;  // nothing may unwind into the engine
  }
}

// ---- Passwords and the busy cursor ------------------------------------------------------------

TPasswordButton PasswordButtonOf(int32_t modalResult) {
  switch (modalResult) {
    case kPasswordResultOk:
      return pbOk;
    case kPasswordResultCancel:
      return pbCancel;
    case kPasswordResultCancelAll:
      return pbCancelAll;
    default:
      return pbAbort;
  }
}

std::string TZipArchiver::PasswordDialog(const std::string& title, const std::string& prompt, uint32_t buttons) {
  std::string entry;
  passwordModalResult_ = Ui().ShowPasswordDialog(title, prompt, buttons | SetOf(pbOk), &entry);
  return passwordModalResult_ == kPasswordResultOk ? entry : std::string();
}

std::string TZipArchiver::AskAddPassword() {
  if (unattended_) {
    ReportMessage(zmNoAddPassword);
    return std::string();
  }
  const uint32_t buttons = SetOf(pbOk) | SetOf(pbCancel);
  std::string first = PasswordDialog(StringTableText(zmPasswordCaption), StringTableText(zmEnterPassword), buttons);
  if (first.empty()) return std::string();
  std::string second = PasswordDialog(StringTableText(zmPasswordCaption), StringTableText(zmConfirmPassword), buttons);
  if (second.empty()) return std::string();
  if (first != second) {
    ReportMessage(zmPasswordMismatch);
    return std::string();
  }
  return first;
}

std::string TZipArchiver::AskExtractPassword() {
  if (unattended_) {
    ReportMessage(zmNoExtractPassword);
    return std::string();
  }
  return PasswordDialog(StringTableText(zmPasswordCaption), StringTableText(zmEnterPassword),
                        SetOf(pbOk) | SetOf(pbCancel) | SetOf(pbCancelAll));
}

void TZipArchiver::BeginBusyCursor() {
  TZipArchiverUi& ui = Ui();
  if (!ui.ActiveWindowIsOurs()) return;
  if (busyCursorCount_ == 0) {
    savedCursor_ = ui.ScreenCursor();
    ui.SetScreenCursor(crHourGlass);
  }
  ++busyCursorCount_;
}

void TZipArchiver::EndBusyCursor() {
  TZipArchiverUi& ui = Ui();
  if (!ui.ActiveWindowIsOurs() || busyCursorCount_ <= 0) return;
  if (--busyCursorCount_ == 0) ui.SetScreenCursor(savedCursor_);
}

}  // namespace dravello
