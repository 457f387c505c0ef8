#include "zip/ZipMessages.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace dravello {

namespace {

struct MessageEntry {
  int32_t id;
  std::string_view text;
};

// Sorted by id.
constexpr std::array kMessages = {
    MessageEntry{zmEngineAbort, "Fatal Error in ZIPENGINE.DLL: abort exception"},
    MessageEntry{zmNoZipFile, "Error - no zip file specified!"},
    MessageEntry{zmNoMemory, "Requested memory not available"},
    MessageEntry{zmPasswordMismatch, "Error - passwords do NOT match\nPassword ignored"},
    MessageEntry{zmNoAddPassword, "Error - no add password given"},
    MessageEntry{zmNoExtractPassword, "Error - no extract password given"},
    MessageEntry{zmOkCaption, "&Ok"},
    MessageEntry{zmCancelCaption, "&Cancel"},
    MessageEntry{zmPasswordCaption, "Password"},
    MessageEntry{zmEnterPassword, "Enter Password "},
    MessageEntry{zmConfirmPassword, "Confirm Password "},
    MessageEntry{zmCancelAllCaption, "Cancel all"},
    MessageEntry{zmAbortCaption, "Abort"},
    MessageEntry{zmListSeekError, "Seek error reading Zip archive!"},
    MessageEntry{zmListUnknownError, "Unknown error in List() function\n"},
    MessageEntry{zmStructureWarning, "Warning - Error in zip structure!"},
    MessageEntry{zmGarbageWarning, "Warning - Garbage at the end of the zipfile!"},
    MessageEntry{zmEntriesOverlap, "Entries of the Zip archive overlap: it is damaged"},
    MessageEntry{zmNoFilesToZip, "Error - no files to zip!"},
    MessageEntry{zmUnattendedNoPassword, "Unattended action not possible without a password"},
    MessageEntry{zmUpdateOnSpanned, "AddFreshen or AddUpdate not possible on a spanned archive"},
    MessageEntry{zmSfxError, "Error %.1d occurred during Auto SFX creation."},
    MessageEntry{zmEngineLoaded, "ZIP DLL Loaded"},
    MessageEntry{zmNoExecFunction, "ZipEngineExec function not found in ZIPENGINE.DLL!"},
    MessageEntry{zmNoVersionFunction, "GetZipEngineVersion function not found in ZIPENGINE.DLL!"},
    MessageEntry{zmEngineNotFound, "ZIPENGINE.DLL not found!"},
    MessageEntry{zmOldZipEngine, "Attempted to load old ZipEngine from "},
    MessageEntry{zmInputMissing, "Input file does not exist"},
    MessageEntry{zmCannotOpen, "Zip file could not be opened"},
    MessageEntry{zmInvalidDrive, "Not a valid drive: %s"},
    MessageEntry{zmUndefinedDrive, "Drive %s is NOT defined"},
    MessageEntry{zmInputSeekError, "Seek error in input file"},
    MessageEntry{zmEndRecordReadError, "Error while reading the End Of Central Directory"},
    MessageEntry{zmCentralHeaderReadError, "Error while reading a central header"},
    MessageEntry{zmCentralSignatureWrong, "A central header signature is wrong"},
    MessageEntry{zmCentralNameReadError, "Error while reading a central file name"},
    MessageEntry{zmFileCommentReadError, "Error while reading a file comment"},
    MessageEntry{zmNotAZipArchive, "This archive is not a valid Zip archive"},
    MessageEntry{zmFirstDiskOfSet, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    MessageEntry{zmNthDiskOfSet, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    MessageEntry{zmSfxNotSpannable, "Error - Self extracting archives(.exe) can not be spanned"},
    MessageEntry{zmFirstFileOfSet, "This is the first file in a backup set,\nplease choose the last file of this set"},
};

static_assert(std::is_sorted(kMessages.begin(), kMessages.end(),
                             [](const MessageEntry& a, const MessageEntry& b) { return a.id < b.id; }));

}  // namespace

std::optional<std::string> ZipMessageTableText(int32_t id) {
  auto it = std::lower_bound(kMessages.begin(), kMessages.end(), id,
                             [](const MessageEntry& e, int32_t key) { return e.id < key; });
  if (it == kMessages.end() || it->id != id) return std::nullopt;
  return std::string(it->text);
}

}  // namespace dravello
