// The zip archiver component: packs files into a zip archive through the external engine library
// ZIPENGINE.DLL (loaded for the duration of one Add) and reads an archive's directory.
//
// Failures are reported, not raised: the message id goes to ErrCode, its text to Message and to
// OnMessage, and, unless Unattended is set, into a message box. Add raises only for faults outside
// its protected stage (memory, an engine reporting a negative version). List raises nothing that
// derives from std::exception.
//
// Everything runs on the caller's thread; the engine calls back on it during Add. The component
// refuses a second Add (result -255) while one runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/DateTime.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "ui/Component.h"
#include "zip/ZipEngineApi.h"

namespace dravello {

class TZipArchiverUi;

// ---- Sets and enumerations --------------------------------------------------------------------
// A set is held as a 32-bit value whose bit n stands for member n.

constexpr uint32_t SetOf(uint32_t member) { return 1u << member; }
constexpr bool InSet(uint32_t set, uint32_t member) { return ((set >> member) & 1u) != 0; }

enum AddOptsEnum : uint32_t {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS, AddHiddenFiles,
  AddArchiveOnly, AddResetArchive, AddEncrypt, AddSeparateDirs, AddVolume, AddFromDate, AddSafe,
  AddDiskSpan, AddDiskSpanErase,
};
using AddOpts = uint32_t;

enum AddStoreSuffixEnum : uint32_t {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assRAR, assACE,
  assCAB, assGZ, assGZIP, assJAR, assEXE, assEXT,
};
using AddStoreExts = uint32_t;
// assGIF .. assJAR: the suffixes the backup tool stores without compressing.
inline constexpr AddStoreExts kDefaultStoreSuffixes = SetOf(assJAR + 1) - 1;

enum SpanOptsEnum : uint32_t { spNoVolumeName, spCompatName, spNoCompatName, spWipeFiles, spTryFormat };
using SpanOpts = uint32_t;

enum ExtrOptsEnum : uint32_t { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
using ExtrOpts = uint32_t;

enum CodePageOpts : int32_t { cpAuto, cpNone, cpOEM };
enum DeleteOpts : int32_t { htdFinal, htdAllowUndo };
enum ProgressType : int32_t { ptFileBegin, ptBytesDone, ptBatchEnd, ptTotalFiles, ptTotalBytes };
enum TPasswordButton : int32_t { pbOk, pbCancel, pbCancelAll, pbAbort };
// The reason the extraction engine gives for skipping a file, counted from 0.
using UnZipSkipTypes = int32_t;
// Disk-spanning answers; the component raises no event that uses them.
using TZipDiskStatus = uint32_t;
enum TZipDiskAction : int32_t { zdaOk, zdaErase, zdaReject, zdaCancel };

// Modal results of the password dialog that the engine's reply depends on.
inline constexpr int32_t kPasswordResultOk = 1, kPasswordResultCancel = 2, kPasswordResultAbort = 3,
                         kPasswordResultCancelAll = 9;

// The password button a dialog's modal result stands for: OK -> pbOk, Cancel -> pbCancel,
// 9 -> pbCancelAll, anything else -> pbAbort.
TPasswordButton PasswordButtonOf(int32_t modalResult);

// ---- Messages ---------------------------------------------------------------------------------

// The text the message table holds for `id`, or the fallback: "Old Dll from " for 10605 and
// 10705, "SFX not supported" for 10804, "Span not supported" for 11048, and otherwise "The message
// table is probably not linked to the executable\nMissing String ID is: <id>".
std::string StringTableText(int32_t id);

// A failure with a message-table id.
class EZipArchiver : public Exception {
 public:
  EZipArchiver(std::string message, int32_t resourceId, bool showToUser)
      : Exception(std::move(message)), ResourceId(resourceId), ShowToUser(showToUser) {}

  // The table text of `id` (or the "message table is probably not linked" text).
  static EZipArchiver CreateWithId(int32_t id, bool showToUser);
  // The table text of `id` formatted with one integer; shown to the user.
  static EZipArchiver CreateWithNumber(int32_t id, int64_t value);
  // The table text of `id` formatted with one string; shown to the user.
  static EZipArchiver CreateWithText(int32_t id, const std::string& text);

  int32_t ResourceId;
  bool ShowToUser;
};

// ---- Directory entries ------------------------------------------------------------------------

// One entry of an archive's central directory as List read it. The fields from SpecVersion to
// LocalHeaderOffset are the central header's 42 bytes after its signature, as stored (a ZIP64
// archive stores 0xFFFFFFFF / 0xFFFF there); the ...64 fields carry the true values, taken from
// the entry's ZIP64 extra field where the stored ones are saturated.
struct ZipDirEntry {
  uint8_t SpecVersion = 0;
  uint8_t HostSystem = 0;
  uint16_t NeededVersion = 0;
  uint16_t GeneralFlags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc = 0;
  uint32_t PackedSize = 0;
  uint32_t UnpackedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;

  std::string EntryName;     // converted by ToAnsiText, "/" replaced by PathDelim
  std::string EntryComment;  // converted by ToAnsiText; empty when CommentLength is 0
  // ExtraLength + 1 bytes (the last one spare), or empty when ExtraLength is 0.
  std::vector<uint8_t> ExtraField;

  uint64_t PackedSize64 = 0;
  uint64_t UnpackedSize64 = 0;
  uint64_t LocalHeaderOffset64 = 0;
  uint32_t DiskStart32 = 0;
  bool IsEncrypted = false;  // bit 0 of GeneralFlags (beside DiskStart32: a directory of many entries keeps no gap)
};

// A memory buffer the engine may ask the component to size (callback action 13).
class TZipStream : public TObject {
  DV_CLASS(TZipStream)

 public:
  size_t Size() const { return size_; }
  char* Memory() const { return data_.get(); }
  // Resizes, keeping the first min(old, new) bytes; false (and unchanged) when memory is short.
  bool SetSize(size_t size);

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
};

// The self-extractor settings stored with the component (no self-extractor is built).
class TSFXProperties : public TObject {
  DV_CLASS(TSFXProperties)

 public:
  std::string Caption = "Self-extracting Archive";
  std::string CommandLine;
  std::string DefaultDir;
  std::string Message;
  std::string Path;
  uint32_t Options = 0;
  int32_t OverWriteMode = 0;
};

// ---- The component ----------------------------------------------------------------------------

class TZipArchiver : public TComponent {
  DV_CLASS(TZipArchiver)

 public:
  explicit TZipArchiver(TComponent* owner);
  ~TZipArchiver() override;

  // ---- Published properties ----
  int32_t AddCompLevel() const { return addCompLevel_; }
  void SetAddCompLevel(int32_t v) { addCompLevel_ = v; }
  AddOpts AddOptions() const { return addOptions_; }
  void SetAddOptions(AddOpts v) { addOptions_ = v; }
  TDateTime AddFrom() const { return addFrom_; }
  void SetAddFrom(TDateTime v) { addFrom_ = v; }
  AddStoreExts AddStoreSuffixes() const { return addStoreSuffixes_; }
  void SetAddStoreSuffixes(AddStoreExts v) { addStoreSuffixes_ = v; }
  const std::string& ExtAddStoreSuffixes() const { return extAddStoreSuffixes_; }
  // Empty: clears the text and removes assEXT. Otherwise every item (";", "," and ":" separate
  // them) gets a leading "." when it has none and a ":" after it, the text is lower-cased and
  // assEXT is added: "GIF;.jpg" becomes ".gif:.jpg:".
  void SetExtAddStoreSuffixes(const std::string& v);
  TStringList* FSpecArgs() const { return fSpecArgs_.get(); }
  void SetFSpecArgs(TStringList* lines);  // copies the lines
  // As SetFSpecArgs, but takes the lines over and leaves `lines` empty: a backup of many files
  // hands its list over instead of holding it twice. Lines with objects are copied as by
  // SetFSpecArgs (the objects stay with `lines`).
  void TakeFSpecArgs(TStringList& lines);
  TStringList* FSpecArgsExcl() const { return fSpecArgsExcl_.get(); }
  void SetFSpecArgsExcl(TStringList* lines);
  const std::string& ZipFileName() const { return zipFileName_; }
  // Stores the name and, unless the component is being designed, reads its directory (List).
  void SetZipFileName(const std::string& name);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v; }
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& v) { rootDir_ = v; }
  const std::string& TempDir() const { return tempDir_; }
  void SetTempDir(const std::string& v) { tempDir_ = v; }
  const std::string& DLLDirectory() const { return dllDirectory_; }
  // A changed value is stored less one trailing path separator (the root stays the root).
  void SetDLLDirectory(const std::string& v);
  int32_t MinZipEngineVers() const { return minZipEngineVers_; }
  void SetMinZipEngineVers(int32_t v);  // values below 172 are ignored
  int32_t MinUnzEngineVers() const { return minUnzEngineVers_; }
  void SetMinUnzEngineVers(int32_t v);  // values below 172 are ignored
  bool Unattended() const { return unattended_; }
  void SetUnattended(bool v) { unattended_ = v; }
  bool Verbose() const { return verbose_; }
  void SetVerbose(bool v) { verbose_ = v; }
  bool Trace() const { return trace_; }
  void SetTrace(bool v) { trace_ = v; }
  CodePageOpts CodePage() const { return codePage_; }
  void SetCodePage(CodePageOpts v) { codePage_ = v; }
  DeleteOpts HowToDelete() const { return howToDelete_; }
  void SetHowToDelete(DeleteOpts v) { howToDelete_ = v; }
  const std::string& VersionInfo() const { return versionInfo_; }
  void SetVersionInfo(const std::string&) {}  // fixed text
  const std::string& ExtrBaseDir() const { return extrBaseDir_; }
  void SetExtrBaseDir(const std::string& v) { extrBaseDir_ = v; }
  ExtrOpts ExtrOptions() const { return extrOptions_; }
  void SetExtrOptions(ExtrOpts v) { extrOptions_ = v; }
  uint32_t PasswordReqCount() const { return passwordReqCount_; }
  void SetPasswordReqCount(uint32_t v);  // above 15 is stored as 15
  bool UseDirOnlyEntries() const { return useDirOnlyEntries_; }
  void SetUseDirOnlyEntries(bool v) { useDirOnlyEntries_ = v; }
  SpanOpts SpanOptions() const { return spanOptions_; }
  void SetSpanOptions(SpanOpts v) { spanOptions_ = v; }
  bool ConfirmErase() const { return confirmErase_; }
  void SetConfirmErase(bool v) { confirmErase_ = v; }
  int32_t KeepFreeOnDisk1() const { return keepFreeOnDisk1_; }
  void SetKeepFreeOnDisk1(int32_t v) { keepFreeOnDisk1_ = v; }
  int32_t KeepFreeOnAllDisks() const { return keepFreeOnAllDisks_; }
  void SetKeepFreeOnAllDisks(int32_t v) { keepFreeOnAllDisks_ = v; }
  int32_t MaxVolumeSize() const { return maxVolumeSize_; }
  void SetMaxVolumeSize(int32_t v) { maxVolumeSize_ = v; }
  int32_t MinFreeVolumeSize() const { return minFreeVolumeSize_; }
  void SetMinFreeVolumeSize(int32_t v) { minFreeVolumeSize_ = v; }
  TSFXProperties& SFX() const { return *sfx_; }
  const std::string& SFXCaption() const { return sfx_->Caption; }
  void SetSFXCaption(const std::string& v) { sfx_->Caption = v; }
  const std::string& SFXCommandLine() const { return sfx_->CommandLine; }
  void SetSFXCommandLine(const std::string& v) { sfx_->CommandLine = v; }
  const std::string& SFXDefaultDir() const { return sfx_->DefaultDir; }
  void SetSFXDefaultDir(const std::string& v) { sfx_->DefaultDir = v; }
  const std::string& SFXMessage() const { return sfx_->Message; }
  void SetSFXMessage(const std::string& v) { sfx_->Message = v; }
  const std::string& SFXPath() const { return sfx_->Path; }
  void SetSFXPath(const std::string& v) { sfx_->Path = v; }
  uint32_t SFXOptions() const { return sfx_->Options; }
  void SetSFXOptions(uint32_t v) { sfx_->Options = v; }
  int32_t SFXOverWriteMode() const { return sfx_->OverWriteMode; }
  void SetSFXOverWriteMode(int32_t v) { sfx_->OverWriteMode = v; }

  // ---- Run-time state ----
  int32_t ErrCode() const { return errCode_; }
  const std::string& Message() const { return message_; }
  int32_t AddedCount() const { return addedCount_; }
  const std::string& ArchiveComment() const { return archiveComment_; }
  const std::vector<std::unique_ptr<ZipDirEntry>>& ZipContents() const { return zipContents_; }
  int Count() const { return static_cast<int>(zipContents_.size()); }
  int32_t SkippedDirCount() const { return skippedDirCount_; }
  // Byte counts and positions are 64-bit so that archives beyond 2 GiB read correctly.
  int64_t PrefixSize() const { return prefixSize_; }
  int64_t CentralDirOffset() const { return centralDirOffset_; }
  int64_t EndRecordOffset() const { return endRecordOffset_; }
  int64_t ArchiveEnd() const { return archiveEnd_; }
  int64_t FileLength() const { return fileLength_; }
  int32_t LastVolume() const { return lastVolume_; }
  bool MultiVolume() const { return multiVolume_; }
  bool DirOffsetMismatch() const { return dirOffsetMismatch_; }
  const std::string& VolumeFileName() const { return volumeFileName_; }
  const std::string& DriveRoot() const { return driveRoot_; }
  bool OnHardDisk() const { return onHardDisk_; }
  const std::string& VolumeLabel() const { return volumeLabel_; }
  int32_t CurrentVolume() const { return currentVolume_; }

  bool AddRunning() const { return addRunning_; }
  bool EngineRunning() const { return engineRunning_; }
  bool UnzipRunning() const { return unzipRunning_; }
  bool AbortRequested() const { return abortRequested_; }
  const std::string& EventErrorText() const { return eventErrorText_; }
  bool EngineLoaded() const { return engine_ != nullptr; }
  TZipStream& ZipStream() const { return *zipStream_; }

  // ---- Operations ----

  // Packs every line of FSpecArgs into ZipFileName. -255 without doing anything while the
  // component is busy; otherwise the final ErrCode (0 after a good re-read of the archive).
  int32_t Add();
  // Reads the directory of ZipFileName into ZipContents. Reports failures; never raises a
  // std::exception. A file that cannot be read as an archive empties ZipFileName.
  void List();
  // Frees every directory entry, from the last to the first, and the list's own room. A caller
  // that only wanted List's verdict need not hold the directory of a large archive meanwhile.
  void ClearZipContents();
  // ".gif:.png:..." for the members of AddStoreSuffixes, with ExtAddStoreSuffixes for assEXT;
  // the last character dropped.
  std::string BuildSuffixList() const;
  // Message := table text of id + extra; ErrCode := id; message box unless Unattended;
  // OnMessage(0, text).
  void ReportMessage(int32_t id, const std::string& extra = std::string());
  // Message box when the failure is to be shown and not Unattended; ErrCode, Message; then
  // OnMessage with the id.
  void ReportException(const EZipArchiver& e);

  // Loads the engine unless it is loaded and returns its version (0: none usable, reason
  // reported). `loadedHere` tells whether this call loaded it.
  int32_t LoadEngine(bool& loadedHere);
  int32_t LoadEngineFile();
  void UnloadEngine();
  // The full path of the loaded engine file; empty when none is loaded.
  std::string EngineModulePath() const;

  // Turns one engine callback into events and replies (the engine's callback runs this; hosts
  // may call it to inject messages). `record` may be null when no reply is possible. Returns
  // AbortRequested.
  bool DispatchCallback(int32_t action, int32_t argument, const std::string& text, uintptr_t value,
                        ZipCallbackData* record);
  // The callback text: trailing blanks and control characters removed, "/" made PathDelim.
  static std::string CallbackText(const std::string& text);
  // "Resetting Archive Bit" (1), "Copy file" (2), "Copying" (6), "Writing Central Directory" (7),
  // "Progress <n>" for other positive n, "" for n <= 0.
  static std::string PhaseText(int32_t n);

  // The name conversion of the entry being read (OEM to the platform code page when the entry's
  // host and CodePage say so).
  std::string ToAnsiText(const std::string& text, const ZipDirEntry& entry) const;

  // The password questions and the dialog they use (buttons: a set of TPasswordButton).
  std::string AskAddPassword();
  std::string AskExtractPassword();
  std::string PasswordDialog(const std::string& title, const std::string& prompt, uint32_t buttons);
  int32_t LastPasswordModalResult() const { return passwordModalResult_; }

  void BeginBusyCursor();
  void EndBusyCursor();

  // The window-framework services in use (message boxes, cursor, message processing, the
  // password dialog, the owner window, which is taken again); nullptr restores the default ones.
  void SetUi(TZipArchiverUi* ui);
  TZipArchiverUi& Ui() const;

  // ---- Events ----
  std::function<void(TObject* Sender, ProgressType ProgrType, const std::string& FileName, uint32_t FileSize)>
      OnProgress;
  std::function<void(TObject* Sender, int32_t ErrCode, const std::string& Message)> OnMessage;
  std::function<void(TObject* Sender)> OnDirUpdate;
  std::function<void(TObject* Sender, std::string& OldFileName, bool& IsChanged)> OnSetNewName;
  std::function<void(TObject* Sender, bool IsZipAction, std::string& NewPassword, const std::string& ForFile,
                     uint32_t& RepeatCount, TPasswordButton& Action)>
      OnPasswordError;
  std::function<void(TObject* Sender, const std::string& ForFile, std::string& FileComment, bool& IsChanged)>
      OnFileComment;
  std::function<void(TObject* Sender, bool& Abort)> OnAfterCallback;
  std::function<void(TObject* Sender)> OnTick;
  std::function<void(TObject* Sender, int32_t SeqNo, const ZipDirEntry& ZipEntry)> OnNewName;
  std::function<void(TObject* Sender, const std::string& ForFile, uint32_t FoundCRC, uint32_t ExpectedCRC,
                     bool& DoExtract)>
      OnCRC32Error;
  std::function<void(TObject* Sender, const std::string& ForFile, bool IsOlder, bool& DoOverwrite, int32_t DirIndex)>
      OnExtractOverwrite;
  std::function<void(TObject* Sender, const std::string& ForFile, UnZipSkipTypes SkipType, int32_t ExtError)>
      OnExtractSkipped;
  std::function<void(TObject* Sender, const std::string& ForFile, bool& DoOverwrite)> OnCopyZipOverwrite;
  std::function<void(TObject* Sender, int32_t DiskSeqNo, int32_t DiskTotal, const std::string& Drive,
                     bool& AbortAction)>
      OnGetNextDisk;
  std::function<void(TObject* Sender, int32_t PreviousDisk, const std::string& PreviousFile, TZipDiskStatus Status,
                     TZipDiskAction& Action)>
      OnStatusDisk;

 private:
  struct CommandBuffers;
  class ListReader;
  friend class ListReader;

  void RunAddSteps();
  void BuildCommand(CommandBuffers& buffers, const std::string& target, int32_t engineVersion) const;
  void BuildFileSpecs(CommandBuffers& buffers) const;
  void AfterCallback(int32_t action);
  void RecordEventError(int32_t action, const std::string& text);

  // Published state.
  int32_t addCompLevel_ = 9;
  AddOpts addOptions_ = 0;
  TDateTime addFrom_ = 0;
  AddStoreExts addStoreSuffixes_ = kDefaultStoreSuffixes;
  std::string extAddStoreSuffixes_;
  std::unique_ptr<TStringList> fSpecArgs_;
  std::unique_ptr<TStringList> fSpecArgsExcl_;
  std::string zipFileName_;
  std::string password_;
  std::string rootDir_;
  std::string tempDir_;
  std::string dllDirectory_;
  int32_t minZipEngineVers_ = 172;
  int32_t minUnzEngineVers_ = 172;
  bool unattended_ = false;
  bool verbose_ = false;
  bool trace_ = false;
  CodePageOpts codePage_ = cpAuto;
  DeleteOpts howToDelete_ = htdAllowUndo;
  std::string versionInfo_ = "1.72";
  std::string extrBaseDir_;
  ExtrOpts extrOptions_ = 0;
  uint32_t passwordReqCount_ = 1;
  bool useDirOnlyEntries_ = false;
  SpanOpts spanOptions_ = 0;
  bool confirmErase_ = true;
  int32_t keepFreeOnDisk1_ = 0;
  int32_t keepFreeOnAllDisks_ = 0;
  int32_t maxVolumeSize_ = 0;
  int32_t minFreeVolumeSize_ = 65536;
  std::unique_ptr<TSFXProperties> sfx_;

  // Run-time state.
  int32_t errCode_ = 0;
  std::string message_;
  int32_t addedCount_ = 0;
  std::string archiveComment_;
  std::vector<std::unique_ptr<ZipDirEntry>> zipContents_;
  int32_t skippedDirCount_ = 0;
  int64_t prefixSize_ = 0;
  int64_t centralDirOffset_ = 0;
  int64_t endRecordOffset_ = 0;
  int64_t archiveEnd_ = 0;
  int64_t fileLength_ = 0;
  int32_t lastVolume_ = 0;
  bool multiVolume_ = false;
  bool dirOffsetMismatch_ = false;
  std::string volumeFileName_;
  std::string driveRoot_;
  bool onHardDisk_ = true;
  std::string volumeLabel_;
  int32_t currentVolume_ = 0;

  bool addRunning_ = false;
  bool engineRunning_ = false;
  bool unzipRunning_ = false;
  bool abortRequested_ = false;
  std::string eventErrorText_;
  uintptr_t ownerWindow_ = 0;
  int32_t passwordModalResult_ = 0;
  int busyCursorCount_ = 0;
  int16_t savedCursor_ = 0;

  std::unique_ptr<DynamicLibrary> engine_;
  ZipEngineExecFn engineExec_ = nullptr;
  GetZipEngineVersionFn engineVersion_ = nullptr;
  std::unique_ptr<DynamicLibrary> unzipEngine_;  // never loaded by this program; released on destruction
  std::unique_ptr<CommandBuffers> command_;      // the running call's command and its texts
  std::unique_ptr<TZipStream> zipStream_;
  TZipArchiverUi* ui_ = nullptr;
};

// "dir" and "name" joined by exactly one PathDelim when dir is not empty, does not end in a
// drive colon (Windows) and name is not empty; otherwise simply concatenated.
std::string JoinPath(const std::string& dir, const std::string& name);

// The function whose address the command carries: dispatches to the component named by the
// record's ComponentRef. -1 asks the engine to stop.
extern "C" int32_t ZIPENGINE_CALL EngineCallback(ZipCallbackData* data);

}  // namespace dravello
