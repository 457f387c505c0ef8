// The call interface between the archiver component and the zip engine library ZIPENGINE.DLL:
// the command record, the file-specification records, the callback record and the two entry
// points. Both sides include this one header.
//
// On a 32-bit build the records have exactly the documented byte layout (every offset is
// asserted below); on 64-bit builds pointer fields are pointer-sized, the other fields keep their
// order and width, and that layout is asserted too. Text fields point to NUL-terminated texts in
// the platform's 8-bit code page, owned by the component and valid until ZipEngineExec returns.
// A "flag" field holds -1 when its condition holds and 0 otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
#define ZIPENGINE_CALL __stdcall
#else
#define ZIPENGINE_CALL
#endif

#if defined(_WIN32)
#define ZIPENGINE_EXPORT __declspec(dllexport)
#else
#define ZIPENGINE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

struct ZipCallbackData;

// Answers one engine request. Returns -1 to ask the engine to stop as soon as it can, 0 to go on.
typedef int32_t(ZIPENGINE_CALL* ZipEngineCallback)(ZipCallbackData* data);

// One line of the component's file specifications.
struct ZipFileSpec {
  const char* SpecText;      // a path, possibly with wildcards
  int32_t Reserved1[2];
  const char* SpecPassword;  // password for this line's files, or null
  int32_t SpecEncrypt;       // 0, -1 or 0xFFFF; non-zero means encrypt
  uint16_t SpecRecurse;      // 0 or 0xFFFF
  uint8_t Reserved2[14];
  const char* SpecRootDir;   // full path that relative file specifications are taken from, or null
  uint8_t Reserved3[64];
};

// One add command.
struct ZipCommand {
  uintptr_t OwnerHandle;         // 0 when unattended, else the owner window for engine dialogs
  void* ComponentRef;            // handed back in every callback
  int32_t EngineVersion;         // what GetZipEngineVersion returned
  ZipEngineCallback CallbackProc;
  int32_t TraceFlag;
  const char* PasswordText;      // at most 81 characters; null when there is no password
  const char* StoreSuffixText;   // ".gif:.png:..." suffixes stored without compression; or null
  int32_t EncryptFlag;
  int32_t HiddenFilesFlag;       // take hidden and system files too
  int32_t VolumeLabelFlag;
  int32_t Reserved40;
  int32_t OmitDirEntries;        // no entries for directories themselves
  int32_t DateFilterFlag;        // only files dated FromDate or later
  int32_t VerboseFlag;
  int32_t QuietFlag;
  int32_t CompressionLevel;      // 0 (store) to 9
  int32_t Reserved64;
  int32_t Reserved68;
  int32_t StripPaths;            // store names without their directory part
  uint16_t RecurseFlag;          // 0 or 0xFFFF: default recursion of the file specifications
  uint16_t Reserved78;
  int32_t InPlaceFlag;           // not in "safe" mode
  int32_t ForceDosFlag;          // 8.3 names
  int32_t MoveFlag;              // delete the sources once the archive is safely in place
  int32_t Reserved92;
  int32_t UpdateFlag;            // add new files and replace entries that are older
  int32_t FreshenFlag;           // only replace entries that are older
  int32_t Reserved104;
  int32_t ArchiveTimeFlag;       // the archive takes the time of its newest entry
  char FromDate[8];              // "mm dd yy", no terminator
  int32_t SpecCount;
  const char* ArchiveName;
  const char* TempDirText;       // folder for the temporary archive; or null
  const char* CommentText;       // the archive comment to keep; or null
  uint16_t ArchiveOnlyFlag;      // 1: only files whose archive attribute is set
  uint16_t ResetArchiveFlag;     // 1: clear the archive attribute of added files
  ZipFileSpec* Specs;            // SpecCount records
  int32_t Reserved144;
  int32_t ExcludeCount;
  const char** Excludes;         // ExcludeCount texts; or null
  int32_t Reserved156[8];
  int32_t AllowUndoFlag;
  uint16_t CodePageCode;         // 2: OEM names
  uint8_t Reserved194[18];
  int32_t CheckValue;            // always 7
};

// What the engine passes to the callback. The engine provides at least this record; the
// component reads and writes only these fields and the two places inside Text named below.
struct ZipCallbackData {
  int32_t Reserved0;
  void* ComponentRef;   // in: the command's ComponentRef
  int32_t Reserved8;
  int32_t IsZipAction;  // in: non-zero for requests of an add operation
  int32_t ActionCode;   // in: 0 .. 14; out: 0 after a cancel-all answer to a password request
  int32_t ActionArg;    // in: action argument; out: reply flag
  uintptr_t FileSize;   // in: action value; out: reply value (an address for action 13)
  char Text[513];       // in: NUL-terminated file name or message; out: reply text
};

// Byte 256 of Text: the initial file comment of action 12.
inline char ZipCallbackCommentSeed(const ZipCallbackData* d) { return d->Text[256]; }
// Bytes 504..507 of Text: the value of action 14.
inline int32_t ZipCallbackExtraValue(const ZipCallbackData* d) {
  int32_t v;
  std::memcpy(&v, d->Text + 504, sizeof v);
  return v;
}
inline void SetZipCallbackExtraValue(ZipCallbackData* d, int32_t v) { std::memcpy(d->Text + 504, &v, sizeof v); }

// The engine's version as 100 x the version number (172 stands for 1.72); 0 means unusable.
typedef int32_t(ZIPENGINE_CALL* GetZipEngineVersionFn)(void);
// Runs one command; returns the number of files stored (0 when none), negative on a fatal fault.
typedef int32_t(ZIPENGINE_CALL* ZipEngineExecFn)(ZipCommand* command);

}  // extern "C"

// Callback action codes.
enum ZipCallbackAction : int32_t {
  zcaTick = 0,
  zcaFileBegin = 1,
  zcaBytesDone = 2,
  zcaBatchEnd = 3,
  zcaMessage = 4,
  zcaTotalFiles = 5,
  zcaTotalBytes = 6,
  zcaNewName = 7,
  zcaPassword = 8,
  zcaCrcError = 9,
  zcaOverwrite = 10,
  zcaSkipped = 11,
  zcaFileComment = 12,
  zcaStreamSize = 13,
  zcaExtraData = 14,
};

// The codes the engine gives its messages (action zcaMessage, in ActionArg). Only the low byte is
// meaningful to the caller; 0 marks plain information. The numbers follow the long-standing zip
// tool convention so that they read the same to anyone who knows it.
enum ZipEngineCode : int32_t {
  zecInfo = 0,
  zecFormat = 3,         // the existing archive is not a zip archive that can be extended
  zecMemory = 4,         // memory exhausted
  zecInternal = 5,       // anything unexpected
  zecAborted = 9,        // the caller asked to stop
  zecTempFile = 10,      // the temporary archive could not be made or moved
  zecRead = 11,          // the existing archive could not be read
  zecNothingToDo = 12,   // no file to store
  zecWrite = 14,         // writing the archive failed
  zecCreate = 15,        // the archive could not be created
  zecBadCommand = 16,    // the command record is unusable
  zecNotFound = 18,      // a file specification named nothing
  zecSkipped = 18,       // a file was left out (unreadable, special, changed)
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// The documented 32-bit layout.
static_assert(offsetof(ZipFileSpec, SpecPassword) == 12 && offsetof(ZipFileSpec, SpecEncrypt) == 16 &&
              offsetof(ZipFileSpec, SpecRecurse) == 20 && offsetof(ZipFileSpec, SpecRootDir) == 36 &&
              sizeof(ZipFileSpec) == 104);
static_assert(offsetof(ZipCommand, ComponentRef) == 4 && offsetof(ZipCommand, EngineVersion) == 8 &&
              offsetof(ZipCommand, CallbackProc) == 12 && offsetof(ZipCommand, TraceFlag) == 16 &&
              offsetof(ZipCommand, PasswordText) == 20 && offsetof(ZipCommand, StoreSuffixText) == 24 &&
              offsetof(ZipCommand, EncryptFlag) == 28 && offsetof(ZipCommand, HiddenFilesFlag) == 32 &&
              offsetof(ZipCommand, VolumeLabelFlag) == 36 && offsetof(ZipCommand, OmitDirEntries) == 44 &&
              offsetof(ZipCommand, DateFilterFlag) == 48 && offsetof(ZipCommand, VerboseFlag) == 52 &&
              offsetof(ZipCommand, QuietFlag) == 56 && offsetof(ZipCommand, CompressionLevel) == 60 &&
              offsetof(ZipCommand, StripPaths) == 72 && offsetof(ZipCommand, RecurseFlag) == 76 &&
              offsetof(ZipCommand, InPlaceFlag) == 80 && offsetof(ZipCommand, ForceDosFlag) == 84 &&
              offsetof(ZipCommand, MoveFlag) == 88 && offsetof(ZipCommand, UpdateFlag) == 96 &&
              offsetof(ZipCommand, FreshenFlag) == 100 && offsetof(ZipCommand, ArchiveTimeFlag) == 108 &&
              offsetof(ZipCommand, FromDate) == 112 && offsetof(ZipCommand, SpecCount) == 120 &&
              offsetof(ZipCommand, ArchiveName) == 124 && offsetof(ZipCommand, TempDirText) == 128 &&
              offsetof(ZipCommand, CommentText) == 132 && offsetof(ZipCommand, ArchiveOnlyFlag) == 136 &&
              offsetof(ZipCommand, ResetArchiveFlag) == 138 && offsetof(ZipCommand, Specs) == 140 &&
              offsetof(ZipCommand, ExcludeCount) == 148 && offsetof(ZipCommand, Excludes) == 152 &&
              offsetof(ZipCommand, AllowUndoFlag) == 188 && offsetof(ZipCommand, CodePageCode) == 192 &&
              offsetof(ZipCommand, CheckValue) == 212 && sizeof(ZipCommand) == 216);
static_assert(offsetof(ZipCallbackData, ComponentRef) == 4 && offsetof(ZipCallbackData, IsZipAction) == 12 &&
              offsetof(ZipCallbackData, ActionCode) == 16 && offsetof(ZipCallbackData, ActionArg) == 20 &&
              offsetof(ZipCallbackData, FileSize) == 24 && offsetof(ZipCallbackData, Text) == 28 &&
              offsetof(ZipCallbackData, Text) + 256 == 284 && offsetof(ZipCallbackData, Text) + 504 == 532 &&
              sizeof(ZipCallbackData) >= 541);
#else
// The 64-bit layout: pointers widened to 8 bytes and naturally aligned.
static_assert(offsetof(ZipFileSpec, SpecPassword) == 16 && offsetof(ZipFileSpec, SpecEncrypt) == 24 &&
              offsetof(ZipFileSpec, SpecRecurse) == 28 && offsetof(ZipFileSpec, SpecRootDir) == 48 &&
              sizeof(ZipFileSpec) == 120);
static_assert(offsetof(ZipCommand, ComponentRef) == 8 && offsetof(ZipCommand, EngineVersion) == 16 &&
              offsetof(ZipCommand, CallbackProc) == 24 && offsetof(ZipCommand, TraceFlag) == 32 &&
              offsetof(ZipCommand, PasswordText) == 40 && offsetof(ZipCommand, StoreSuffixText) == 48 &&
              offsetof(ZipCommand, EncryptFlag) == 56 && offsetof(ZipCommand, CompressionLevel) == 88 &&
              offsetof(ZipCommand, StripPaths) == 100 && offsetof(ZipCommand, RecurseFlag) == 104 &&
              offsetof(ZipCommand, FromDate) == 140 && offsetof(ZipCommand, SpecCount) == 148 &&
              offsetof(ZipCommand, ArchiveName) == 152 && offsetof(ZipCommand, TempDirText) == 160 &&
              offsetof(ZipCommand, CommentText) == 168 && offsetof(ZipCommand, ArchiveOnlyFlag) == 176 &&
              offsetof(ZipCommand, ResetArchiveFlag) == 178 && offsetof(ZipCommand, Specs) == 184 &&
              offsetof(ZipCommand, ExcludeCount) == 196 && offsetof(ZipCommand, Excludes) == 200 &&
              offsetof(ZipCommand, AllowUndoFlag) == 240 && offsetof(ZipCommand, CodePageCode) == 244 &&
              offsetof(ZipCommand, CheckValue) == 264 && sizeof(ZipCommand) == 272);
static_assert(offsetof(ZipCallbackData, ComponentRef) == 8 && offsetof(ZipCallbackData, IsZipAction) == 20 &&
              offsetof(ZipCallbackData, ActionCode) == 24 && offsetof(ZipCallbackData, ActionArg) == 28 &&
              offsetof(ZipCallbackData, FileSize) == 32 && offsetof(ZipCallbackData, Text) == 40);
#endif
