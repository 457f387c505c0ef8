// The archiver's message table: the text of every message id the component reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dravello {

// The message ids, by what they report. The numbers are those of the table below and of the
// documents that name them; code and tests name them here.
enum ZipMessageId : int32_t {
  zmEngineAbort = 10101,
  zmNoZipFile = 10102,
  zmNoMemory = 10103,
  zmPasswordMismatch = 10104,
  zmNoAddPassword = 10150,
  zmNoExtractPassword = 10151,
  zmOkCaption = 10152,
  zmCancelCaption = 10153,
  zmPasswordCaption = 10154,
  zmEnterPassword = 10155,
  zmConfirmPassword = 10156,
  zmCancelAllCaption = 10157,
  zmAbortCaption = 10158,
  // The directory reader.
  zmListSeekError = 10201,
  zmListUnknownError = 10202,
  zmStructureWarning = 10203,
  zmGarbageWarning = 10204,
  zmEntriesOverlap = 10205,
  // Add.
  zmNoFilesToZip = 10301,
  zmUnattendedNoPassword = 10302,
  zmUpdateOnSpanned = 10303,
  zmSfxError = 10304,
  // Loading the engines.
  zmEngineLoaded = 10601,
  zmNoExecFunction = 10602,
  zmNoVersionFunction = 10603,
  zmEngineNotFound = 10604,
  zmOldZipEngine = 10605,
  zmOldUnzipEngine = 10705,
  zmSfxNotSupported = 10804,
  // Reading an archive.
  zmInputMissing = 11001,
  zmCannotOpen = 11002,
  zmInvalidDrive = 11003,
  zmUndefinedDrive = 11004,
  zmInputSeekError = 11008,
  zmEndRecordReadError = 11011,
  zmCentralHeaderReadError = 11013,
  zmCentralSignatureWrong = 11015,
  zmCentralNameReadError = 11017,
  zmFileCommentReadError = 11022,
  zmNotAZipArchive = 11036,
  zmFirstDiskOfSet = 11037,
  zmNthDiskOfSet = 11038,
  zmSfxNotSpannable = 11041,
  zmFirstFileOfSet = 11045,
  zmSpanNotSupported = 11048,
};

// The table text of `id` ("\n" in a text is a line break), or nothing when the table has none.
std::optional<std::string> ZipMessageTableText(int32_t id);

}  // namespace dravello
