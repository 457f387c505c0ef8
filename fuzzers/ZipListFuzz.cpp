// The archive directory reader on arbitrary files. Naming an archive reads its directory at once,
// and the file may be anything a user points the program at, so every listing must end in a
// reported failure or a directory, never a crash, a hang or an unbounded allocation.
//
// Per input: the bytes become a file, named either plainly or like the backup tool's archives
// (which changes the "wrong disk" message), and the component lists it under each CodePage
// option. The code page changes entry names only: whether the listing failed, which message it
// gave, the entries found and skipped and the archive's comment must not depend on it. A second
// List of an archive that listed must give the same directory.
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "fuzzers/SilentZipUi.h"
#include "runtime/SysUtils.h"
#include "zip/ZipArchiver.h"

namespace dravello::fuzz {

namespace {

// What one listing produced, apart from the entry names.
struct Listing {
  int32_t errCode = 0;
  std::string zipFileName;
  int entries = 0;
  int32_t skipped = 0;
  int64_t prefixSize = 0;
  std::string comment;
  std::vector<int32_t> seqNos;
  int dirUpdates = 0;
  std::vector<std::string> names;

  bool SameShape(const Listing& o) const {
    return errCode == o.errCode && zipFileName == o.zipFileName && entries == o.entries && skipped == o.skipped &&
           prefixSize == o.prefixSize && comment == o.comment && seqNos == o.seqNos;
  }
  std::string Describe() const {
    return "ErrCode " + std::to_string(errCode) + ", ZipFileName " + Printable(zipFileName) + ", " +
           std::to_string(entries) + " entries, " + std::to_string(skipped) + " skipped, PrefixSize " +
           std::to_string(prefixSize) + ", comment " + Printable(comment);
  }
};

bool IsWarning(int32_t code) { return code == 0 || code == 10203 || code == 10204; }

Listing Capture(TZipArchiver& z, std::vector<int32_t>& seqNos, int& dirUpdates) {
  Listing l;
  l.errCode = z.ErrCode();
  l.zipFileName = z.ZipFileName();
  l.entries = z.Count();
  l.skipped = z.SkippedDirCount();
  l.prefixSize = z.PrefixSize();
  l.comment = z.ArchiveComment();
  l.seqNos = seqNos;
  l.dirUpdates = dirUpdates;
  for (const auto& e : z.ZipContents()) l.names.push_back(e->EntryName);
  return l;
}

Listing ListUnder(const std::string& path, CodePageOpts codePage, bool dirOnlyEntries) {
  SilentZipUi ui;
  TZipArchiver z(nullptr);
  z.SetUi(&ui);
  z.SetUnattended(true);
  z.SetCodePage(codePage);
  z.SetUseDirOnlyEntries(dirOnlyEntries);
  std::vector<int32_t> seqNos;
  int dirUpdates = 0;
  z.OnNewName = [&](TObject*, int32_t seqNo, const ZipDirEntry&) { seqNos.push_back(seqNo); };
  z.OnDirUpdate = [&](TObject*) { ++dirUpdates; };
  z.SetZipFileName(path);  // lists; reports but never raises

  const Listing first = Capture(z, seqNos, dirUpdates);
  const std::string where = "code page " + std::to_string(codePage) + ": " + first.Describe();
  DV_FUZZ_CHECK(ui.Shown == 0, "an unattended listing showed a message box; " + where);
  DV_FUZZ_CHECK(dirUpdates == 1, "OnDirUpdate raised " + std::to_string(dirUpdates) + " times; " + where);
  DV_FUZZ_CHECK(static_cast<int>(seqNos.size()) == first.entries, "OnNewName calls differ from the entries; " + where);
  for (size_t i = 1; i < seqNos.size(); ++i)
    DV_FUZZ_CHECK(seqNos[i] > seqNos[i - 1], "sequence numbers do not increase; " + where);
  if (!IsWarning(first.errCode)) {
    DV_FUZZ_CHECK(first.zipFileName.empty() && first.prefixSize == 0, "a failed listing kept its name; " + where);
  } else {
    DV_FUZZ_CHECK(first.zipFileName == path, "a good listing lost its name; " + where);
    DV_FUZZ_CHECK(first.prefixSize >= 0 && first.prefixSize <= z.FileLength(), "PrefixSize outside the file; " + where);
    // Reading the same file again gives the same directory.
    seqNos.clear();
    dirUpdates = 0;
    z.List();
    const Listing again = Capture(z, seqNos, dirUpdates);
    DV_FUZZ_CHECK(again.SameShape(first) && again.names == first.names,
                  "a second List differs: " + again.Describe() + "; " + where);
  }
  return first;
}

}  // namespace

int ZipList(const uint8_t* data, size_t size) {
  const std::string folder = ScratchFolder("zip_list");
  // The backup tool's archive names end in two digits of minutes, which the reader takes for a
  // disk number when it finds no end record.
  const std::string name = std::string(1, PathDelim) + (size % 2 ? "Backup 2024-05-06 11-30.zip" : "archive.zip");
  const std::string path = PutFile(folder + name, std::string_view(reinterpret_cast<const char*>(data), size));
  const bool dirOnlyEntries = size % 3 == 0;

  const Listing automatic = ListUnder(path, cpAuto, dirOnlyEntries);
  const Listing none = ListUnder(path, cpNone, dirOnlyEntries);
  const Listing oem = ListUnder(path, cpOEM, dirOnlyEntries);
  DV_FUZZ_CHECK(none.SameShape(automatic) && oem.SameShape(automatic),
                "the code page changed more than names: cpAuto " + automatic.Describe() + "; cpNone " +
                    none.Describe() + "; cpOEM " + oem.Describe());
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(ZipList)
