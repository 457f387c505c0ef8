// Turns the command's file specifications into the list of files to store: literal names,
// wildcards with optional recursion, the root directory for relative file specifications, and the
// filters (hidden and system files, archive attribute, date, exclusions).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Env.h"

namespace dravello::zipengine {

// One file specification. The texts are views into the command record, which outlives the
// selection: a backup of many files names each of them, and copies would double the memory.
struct SpecLine {
  std::string_view Text;     // a path, possibly with "*" and "?" in its last part
  std::string_view RootDir;  // where relative file specifications start; empty for the current directory
  bool Recurse = false;
  bool Encrypt = false;
  std::string_view Password;
};

struct LocalDate {
  int Year = 0, Month = 0, Day = 0;
  auto operator<=>(const LocalDate&) const = default;
};

struct SelectionOptions {
  bool HiddenFiles = true;             // take hidden and system files (and folders) too
  bool ArchiveOnly = false;            // only files whose archive attribute is set
  bool StripPaths = false;             // entry names without their folders
  std::optional<LocalDate> FromDate;   // only files last written on this local day or later
  std::vector<std::string> Excludes;   // wildcard patterns; with a separator they match paths
  bool FoldCase = false;               // names compare case-insensitively (Windows)
};

class SelectedFile {
 public:
  // A file whose path is held here, or one whose path is a view of text that outlives the
  // selection (a command's file specification): a backup names each of many files by its full
  // path, and a copy of every path would double what the command already holds.
  static SelectedFile Owning(std::string path, std::string storedName, const FileStat& stat, uint32_t attributes,
                             uint32_t specIndex);
  static SelectedFile Borrowing(std::string_view path, std::string storedName, const FileStat& stat,
                                uint32_t attributes, uint32_t specIndex);

  FileStat Stat;           // as listed
  uint32_t Attributes = 0; // DOS attributes as listed
  uint32_t SpecIndex = 0;  // index of the file specification that named it

  // As the Env opens it.
  std::string_view Path() const { return std::string_view(path_, pathSize_); }
  // The entry name: "/" separators, no drive, no leading "/".
  std::string_view StoredName() const {
    return owned_ && !owned_->Name.empty() ? std::string_view(owned_->Name) : Path().substr(nameAt_);
  }

  // Gives back the memory of the path and the name once the file is done with: a backup of many
  // files then holds names only for the files still to come. Both are empty afterwards.
  void Release() {
    path_ = "";
    pathSize_ = 0;
    nameAt_ = 0;
    owned_.reset();
  }

 private:
  // What a file holds itself: its path where that is not borrowed, its entry name where that is
  // not the end of its path. One block for both, and none for most files of a backup.
  struct Owned {
    std::string Path;
    std::string Name;
  };

  SelectedFile(std::string_view path, std::unique_ptr<Owned> owned, std::string storedName, const FileStat& stat,
               uint32_t attributes, uint32_t specIndex);

  // A backup keeps one of these per file: the path is a pointer and a length, not a view.
  const char* path_ = "";  // into owned_, or borrowed
  uint32_t pathSize_ = 0;
  uint32_t nameAt_ = 0;  // where the entry name starts in the path
  std::unique_ptr<Owned> owned_;
};

// Receives warnings: a code (low byte meaningful) and a text.
using WarningSink = std::function<void(int code, const std::string& text)>;

// The files the file specifications name, in their order, each folder's entries sorted by
// name. A file named twice is taken once. A file specification that names an existing file as it
// stands is taken literally, whatever characters it contains. FIFOs, sockets and devices are
// reported and skipped, never opened; symbolic links to folders are not followed.
// `specAt` gives file specification i of `specCount` (a file's SpecIndex is its i); it is called
// from several threads at once, as the look-ups go ahead on worker threads.
std::vector<SelectedFile> SelectFiles(Env& env, size_t specCount, const std::function<SpecLine(size_t)>& specAt,
                                      const SelectionOptions& options, const WarningSink& warn);

// An entry name from a path: "/" separators, no drive, no leading "/", without "." and ".."
// parts (which could make an extractor write outside its target folder).
std::string NormalizeEntryName(const std::string& path);

// Parses the command's "mm dd yy" date (two-digit years below 80 are 20yy). Nothing when the
// text is not such a date.
std::optional<LocalDate> ParseFromDate(const char (&text)[8]);

}  // namespace dravello::zipengine
