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
    MessageEntry{10101, "Fatal Error in ZIPENGINE.DLL: abort exception"},
    MessageEntry{10102, "Error - no zip file specified!"},
    MessageEntry{10103, "Requested memory not available"},
    MessageEntry{10104, "Error - passwords do NOT match\nPassword ignored"},
    MessageEntry{10150, "Error - no add password given"},
    MessageEntry{10151, "Error - no extract password given"},
    MessageEntry{10152, "&Ok"},
    MessageEntry{10153, "&Cancel"},
    MessageEntry{10154, "Password"},
    MessageEntry{10155, "Enter Password "},
    MessageEntry{10156, "Confirm Password "},
    MessageEntry{10157, "Cancel all"},
    MessageEntry{10158, "Abort"},
    MessageEntry{10201, "Seek error reading Zip archive!"},
    MessageEntry{10202, "Unknown error in List() function\n"},
    MessageEntry{10203, "Warning - Error in zip structure!"},
    MessageEntry{10204, "Warning - Garbage at the end of the zipfile!"},
    MessageEntry{10301, "Error - no files to zip!"},
    MessageEntry{10302, "Unattended action not possible without a password"},
    MessageEntry{10303, "AddFreshen or AddUpdate not possible on a spanned archive"},
    MessageEntry{10304, "Error %.1d occurred during Auto SFX creation."},
    MessageEntry{10601, "ZIP DLL Loaded"},
    MessageEntry{10602, "ZipEngineExec function not found in ZIPENGINE.DLL!"},
    MessageEntry{10603, "GetZipEngineVersion function not found in ZIPENGINE.DLL!"},
    MessageEntry{10604, "ZIPENGINE.DLL not found!"},
    MessageEntry{10605, "Attempted to load old ZipEngine from "},
    MessageEntry{11001, "Input file does not exist"},
    MessageEntry{11002, "Zip file could not be opened"},
    MessageEntry{11003, "Not a valid drive: %s"},
    MessageEntry{11004, "Drive %s is NOT defined"},
    MessageEntry{11008, "Seek error in input file"},
    MessageEntry{11011, "Error while reading the End Of Central Directory"},
    MessageEntry{11013, "Error while reading a central header"},
    MessageEntry{11015, "A central header signature is wrong"},
    MessageEntry{11017, "Error while reading a central file name"},
    MessageEntry{11022, "Error while reading a file comment"},
    MessageEntry{11036, "This archive is not a valid Zip archive"},
    MessageEntry{11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    MessageEntry{11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    MessageEntry{11041, "Error - Self extracting archives(.exe) can not be spanned"},
    MessageEntry{11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
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
