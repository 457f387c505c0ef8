#include "zipengine/FileSelection.h"

#include <algorithm>
#include <string_view>

#include "runtime/Lookahead.h"
#include "runtime/SysUtils.h"
#include "runtime/Wildcard.h"
#include "zipengine/KeyedIndexSet.h"
#include "zip/ZipEngineApi.h"

namespace dravello::zipengine {

namespace {

std::string_view PathOf(const SelectedFile& f) { return f.Path(); }

bool IsAbsolutePath(std::string_view p) { return !ExtractFileDrive(p).empty(); }

std::string JoinDir(std::string_view dir, std::string_view name) {
  return dir.empty() ? std::string(name) : IncludeTrailingPathDelimiter(dir) + std::string(name);
}

class Selector {
 public:
  Selector(Env& env, const SelectionOptions& options, const WarningSink& warn)
      : env_(env), options_(options), warn_(warn) {}

  void Reserve(size_t files) {
    files_.reserve(files);
    seen_.Reserve(files);
  }

  // What a file specification names, as the file system says: looked up ahead of its turn.
  struct Probe {
    std::string Full;  // the path, with the root directory for a relative one
    FileStat Stat;
    std::optional<uint32_t> Attributes;  // for a regular file
  };

  Probe Look(const SpecLine& spec) const {
    Probe p;
    if (spec.Text.empty()) return p;
    p.Full = IsAbsolutePath(spec.Text) || spec.RootDir.empty() ? std::string(spec.Text) : JoinDir(spec.RootDir, spec.Text);
    p.Stat = env_.Stat(p.Full);
    if (p.Stat.Kind == FileKind::Regular) p.Attributes = env_.GetAttributesOf(p.Full, p.Stat);
    return p;
  }

  void AddSpec(const SpecLine& spec, size_t index, Probe probe) {
    specIndex_ = static_cast<uint32_t>(index);
    if (spec.Text.empty()) return;
    const std::string& full = probe.Full;
    const FileStat& st = probe.Stat;
    // Entry names of absolute file specifications are the path without its drive; those of relative
    // ones are the path as written.
    const std::string nameBase = IsAbsolutePath(spec.Text) ? PathWithoutDrive(full) : std::string(spec.Text);

    if (st.Kind == FileKind::Regular) {
      // A path written out in full in the command is the command's own text, which outlives the
      // selection: it is borrowed, not copied.
      Consider(full, nameBase, &st, probe.Attributes, full == spec.Text ? spec.Text : std::string_view());
      return;
    }
    if (st.Kind == FileKind::Other) {
      warn_(zecSkipped, "skipped, not a regular file: " + full);
      return;
    }
    if (st.Kind == FileKind::Directory) {
      Walk(full, IncludeTrailingPathDelimiter(nameBase), "*", spec.Recurse);
      return;
    }
    const std::string dir = ExtractFilePath(full);
    const std::string pattern = ExtractFileName(full);
    if (!HasWildcards(pattern) && !spec.Recurse) {
      warn_(zecNotFound, "name not matched: " + std::string(spec.Text));
      return;
    }
    if (!dir.empty() && !env_.DirectoryExists(dir)) {
      warn_(zecNotFound, "name not matched: " + std::string(spec.Text));
      return;
    }
    size_t before = files_.size();
    Walk(dir.empty() ? std::string(".") : ExcludeTrailingPathDelimiter(dir), ExtractFilePath(nameBase), pattern,
         spec.Recurse, dir.empty());
    if (files_.size() == before && !matchedAny_) warn_(zecNotFound, "name not matched: " + std::string(spec.Text));
    matchedAny_ = false;
  }

  std::vector<SelectedFile> Take() { return std::move(files_); }

 private:
  bool Matches(std::string_view pattern, std::string_view name) const {
    return WildcardMatches(pattern, name, options_.FoldCase ? WildcardCase::FoldAscii : WildcardCase::Exact);
  }

  // `namePrefix` is the entry-name prefix for the folder's entries; `bare` says the folder is
  // the current directory named by nothing (so paths stay as the user wrote them).
  void Walk(const std::string& dir, const std::string& namePrefix, const std::string& pattern, bool recurse,
            bool bare = false) {
    std::vector<DirEntry> entries;
    try {
      entries = env_.ListDirectory(dir);
    } catch (const Exception& e) {
      warn_(zecSkipped, "cannot list folder: " + e.Message());
      return;
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; });
    for (const DirEntry& e : entries) {
      const std::string path = bare ? e.Name : JoinDir(dir, e.Name);
      const std::string name = namePrefix + e.Name;
      switch (e.Kind) {
        case FileKind::Directory:
          if (!recurse || e.IsSymlink) break;
          if (!options_.HiddenFiles) {
            std::optional<uint32_t> attrs = env_.GetAttributes(path);
            if (attrs && (*attrs & (faHidden | faSysFile))) break;
          }
          Walk(path, name + "/", pattern, recurse);
          break;
        case FileKind::Regular:
          if (Matches(pattern, e.Name)) {
            matchedAny_ = true;
            Consider(path, name, nullptr, std::nullopt, {});
          }
          break;
        case FileKind::Other:
          if (Matches(pattern, e.Name)) {
            matchedAny_ = true;
            warn_(zecSkipped, "skipped, not a regular file: " + path);
          }
          break;
        case FileKind::Missing:
          break;  // a dangling symbolic link names nothing to store
      }
    }
  }

  bool Excluded(const std::string& path, const std::string& name) const {
    for (const std::string& x : options_.Excludes) {
      if (x.empty()) continue;
      bool hasSep = x.find(PathDelim) != std::string::npos || x.find('/') != std::string::npos;
      if (hasSep) {
        if (Matches(x, path) || Matches(x, name)) return true;
      } else if (Matches(x, ExtractFileName(path))) {
        return true;
      }
    }
    return false;
  }

  // `known` and `knownAttrs` are what a look-up already said (both nothing when it was not asked).
  // `lasting` is empty, or `path` as text that outlives the selection.
  void Consider(const std::string& path, const std::string& rawName, const FileStat* known,
                std::optional<uint32_t> knownAttrs, std::string_view lasting) {
    if (seen_.Contains(path)) return;
    FileStat st = known ? *known : env_.Stat(path);
    if (st.Kind != FileKind::Regular) return;  // vanished since the listing
    std::optional<uint32_t> attrs = known ? knownAttrs : env_.GetAttributesOf(path, st);
    if (!attrs) return;
    if (!options_.HiddenFiles && (*attrs & (faHidden | faSysFile))) return;
    if (options_.ArchiveOnly && !(*attrs & faArchive)) return;
    if (options_.FromDate) {
      TDateTimeParts t = env_.LocalTimeOf(st.MTimeNs);
      if (LocalDate{t.Year, t.Month, t.Day} < *options_.FromDate) return;
    }
    std::string name = NormalizeEntryName(rawName);
    if (options_.StripPaths) name = name.substr(name.rfind('/') + 1);
    if (name.empty() || Excluded(path, name)) return;
    files_.push_back(lasting.empty() ? SelectedFile::Owning(path, std::move(name), st, *attrs, specIndex_)
                                     : SelectedFile::Borrowing(lasting, std::move(name), st, *attrs, specIndex_));
    seen_.Insert(files_.size() - 1);
  }

  Env& env_;
  const SelectionOptions& options_;
  const WarningSink& warn_;
  std::vector<SelectedFile> files_;
  KeyedIndexSet<SelectedFile, &PathOf> seen_{files_};  // the files taken so far, by path
  uint32_t specIndex_ = 0;
  bool matchedAny_ = false;
};

}  // namespace

SelectedFile SelectedFile::Owning(std::string path, std::string storedName, const FileStat& stat, uint32_t attributes,
                                  uint32_t specIndex) {
  auto owned = std::make_unique<Owned>();
  owned->Path = std::move(path);
  const std::string_view view = owned->Path;
  return SelectedFile(view, std::move(owned), std::move(storedName), stat, attributes, specIndex);
}

SelectedFile SelectedFile::Borrowing(std::string_view path, std::string storedName, const FileStat& stat,
                                     uint32_t attributes, uint32_t specIndex) {
  return SelectedFile(path, nullptr, std::move(storedName), stat, attributes, specIndex);
}

SelectedFile::SelectedFile(std::string_view path, std::unique_ptr<Owned> owned, std::string storedName,
                           const FileStat& stat, uint32_t attributes, uint32_t specIndex)
    : Stat(stat), Attributes(attributes), SpecIndex(specIndex), owned_(std::move(owned)) {
  if (path.size() > UINT32_MAX) throw EInOutError("The path is too long: " + std::string(path.substr(0, 256)), 0);
  path_ = path.data();
  pathSize_ = static_cast<uint32_t>(path.size());
  if (!storedName.empty() && path.size() >= storedName.size() &&
      path.substr(path.size() - storedName.size()) == storedName) {
    nameAt_ = static_cast<uint32_t>(path.size() - storedName.size());
  } else {
    // An empty name stands for the end of the path, so an empty entry name is held as such.
    if (!owned_) owned_ = std::make_unique<Owned>();
    owned_->Name = std::move(storedName);
    if (owned_->Name.empty()) nameAt_ = pathSize_;
  }
}

std::string NormalizeEntryName(const std::string& path) {
  std::string p = PathDelim == '/' ? path : StringReplaceAll(path, std::string(1, PathDelim), "/");
  p = PathWithoutDrive(p);
  // Most names have no "." or ".." part and no doubled or trailing separator: they are the
  // path as it stands, without the work of splitting it.
  if (!p.empty() && p.front() != '/' && p.back() != '/' && p.find("//") == std::string::npos &&
      p.find("/.") == std::string::npos && p.front() != '.')
    return p;
  std::string out;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string part = p.substr(i, j - i);
    if (!part.empty() && part != "." && part != "..") {
      if (!out.empty()) out += '/';
      out += part;
    }
    i = j + 1;
  }
  return out;
}

std::optional<LocalDate> ParseFromDate(const char (&text)[8]) {
  auto two = [&](int at) -> int {
    char a = text[at], b = text[at + 1];
    if (a == ' ') a = '0';
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
  };
  int m = two(0), d = two(3), y = two(6);
  if (m < 1 || m > 12 || d < 1 || d > 31 || y < 0) return std::nullopt;
  return LocalDate{y < 80 ? 2000 + y : 1900 + y, m, d};
}

std::vector<SelectedFile> SelectFiles(Env& env, size_t specCount, const std::function<SpecLine(size_t)>& specAt,
                                      const SelectionOptions& options, const WarningSink& warn) {
  Selector selector(env, options, warn);
  // A backup names each file by a line of its own: then the list's final size is known, and
  // growing it by doubling would hold it up to three times over at its last growth.
  selector.Reserve(specCount);
  // The look-ups go ahead on worker threads: for a backup that names each of many files, they
  // are most of the selection's time.
  Lookahead<Selector::Probe> probes(env, specCount, [&](size_t i) { return selector.Look(specAt(i)); });
  for (size_t i = 0; i < specCount; ++i) selector.AddSpec(specAt(i), i, probes.Take(i));
  return selector.Take();
}

}  // namespace dravello::zipengine
