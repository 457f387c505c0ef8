#include "app/RunJournal.h"

#include <exception>
#include <memory>
#include <string_view>
#include <utility>

#include "runtime/Env.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

constexpr std::string_view kTree = "tree ";
constexpr std::string_view kName = "name ";
constexpr std::string_view kEnd = "end";

// The process id in a journal's bare file name, or -1 when the name is no journal's.
int64_t JournalOwner(const std::string& fileName, const std::string& stemName) {
  const std::string prefix = stemName + ".";
  const std::string suffix = ".run";
  if (fileName.size() <= prefix.size() + suffix.size()) return -1;
  if (fileName.compare(0, prefix.size(), prefix) != 0) return -1;
  if (fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) return -1;
  const std::string digits = fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
  if (digits.empty() || digits.size() > 18) return -1;
  for (char c : digits)
    if (c < '0' || c > '9') return -1;
  return std::stoll(digits);
}

// Every folder of the tree below `root` (not through links, which may lead anywhere), tidied.
int TidyTree(Env& env, const std::string& root) {
  int removed = 0;
  std::vector<std::string> pending{IncludeTrailingPathDelimiter(root)};
  while (!pending.empty()) {
    const std::string dir = std::move(pending.back());
    pending.pop_back();
    removed += env.RemoveStaleTempFiles(dir);
    try {
      for (const DirEntry& e : env.ListDirectory(dir))
        if (e.Kind == FileKind::Directory && !e.IsSymlink) pending.push_back(dir + e.Name + PathDelim);
    } catch (const std::exception&) {
      // A folder that cannot be listed holds nothing that can be removed.
    }
  }
  return removed;
}

}  // namespace

std::string TRunJournal::FileName(const std::string& stem, int64_t pid) {
  return stem + "." + std::to_string(pid) + ".run";
}

TRunJournal::TRunJournal(const std::string& stem, const std::vector<std::string>& trees,
                         const std::vector<std::string>& names) {
  std::string text;
  for (const auto& [kind, paths] : {std::pair{kTree, &trees}, std::pair{kName, &names}}) {
    for (const std::string& path : *paths) {
      // One place a line: a name with a line break could not be read back as it was meant.
      if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return;
      text.append(kind).append(path).append("\n");
    }
  }
  text.append(kEnd).append("\n");
  Env& env = Env::Default();
  const std::string path = FileName(stem, env.ProcessId());
  try {
    std::unique_ptr<WritableFile> file = env.NewWritableFile(path);
    path_ = path;  // from here on there is something to remove
    file->Append(text);
    // On disk before the run writes anything it names: after a power cut the next run must still
    // find what to tidy.
    file->Sync();
    file->Close();
    const std::string folder = ExtractFilePath(path);
    env.SyncDir(folder.empty() ? env.GetCurrentDir() : folder);
  } catch (const std::exception&) {
    // The run goes on without; see the constructor's contract.
  }
}

TRunJournal::~TRunJournal() {
  if (path_.empty()) return;
  try {
    Env::Default().DeleteFile(path_);
  } catch (const std::exception&) {
    // Left behind, it only makes the next run tidy places that hold nothing stale.
  }
}

int TRunJournal::TidyAfterEndedRuns(const std::string& stem) {
  Env& env = Env::Default();
  const std::string folder = ExtractFilePath(stem);
  const std::string stemName = ExtractFileName(stem);
  int removed = 0;
  std::vector<DirEntry> entries;
  try {
    entries = env.ListDirectory(folder.empty() ? env.GetCurrentDir() : folder);
  } catch (const std::exception&) {
    return 0;
  }
  for (const DirEntry& e : entries) {
    if (e.Kind != FileKind::Regular || e.IsSymlink) continue;
    const int64_t owner = JournalOwner(e.Name, stemName);
    if (owner < 0 || owner == env.ProcessId() || env.ProcessExists(owner)) continue;
    const std::string journal = folder + e.Name;
    try {
      const std::string text = ReadFileToString(env, journal);
      std::vector<std::string> lines;
      for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
      }
      if (!lines.empty() && lines.back() == kEnd) {
        for (const std::string& line : lines) {
          const std::string_view l(line);
          if (l.substr(0, kTree.size()) == kTree) {
            removed += TidyTree(env, line.substr(kTree.size()));
          } else if (l.substr(0, kName.size()) == kName) {
            const std::string target = line.substr(kName.size());
            removed += env.RemoveStaleTempFiles(ExtractFilePath(target), ExtractFileName(target));
          }
        }
      }
      env.DeleteFile(journal);
    } catch (const std::exception&) {
      // Tried again by the next run.
    }
  }
  return removed;
}

}  // namespace dravello
