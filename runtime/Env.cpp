// The parts of Env that are the same on every platform: the default-Env switch, directory
// creation with parents, the portable copy, MS-DOS ages and whole-file helpers.
#include "runtime/Env.h"

#include <atomic>
#include <string_view>
#include <vector>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {
std::atomic<Env*> g_env{nullptr};
}  // namespace

Env& Env::Default() {
  Env* env = g_env.load(std::memory_order_acquire);
  return env ? *env : Platform();
}

Env* Env::SetDefault(Env* env) { return g_env.exchange(env, std::memory_order_acq_rel); }

void Env::ForceDirectories(const std::string& path) {
  std::string dir = ExcludeTrailingPathDelimiter(path);
  if (dir.empty() || DirectoryExists(dir)) return;
  std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(dir));
  // Stop at the root ("/", "C:" or "\\server\share"), which cannot be created.
  if (!parent.empty() && parent != dir && parent.size() > ExtractFileDrive(dir).size()) ForceDirectories(parent);
  try {
    CreateDir(dir);
  } catch (const EOSError&) {
    // Another process (or a run racing with us) may have created it meanwhile.
    if (!DirectoryExists(dir)) throw;
  }
}

FileStat Env::CopyFileContents(const std::string& src, const std::string& dst) {
  FileStat before = Stat(src);
  std::unique_ptr<SequentialFile> in = NewSequentialFile(src);
  std::unique_ptr<WritableFile> out = NewWritableFile(dst);
  std::vector<char> buf(1 << 20);
  for (size_t n; (n = in->Read(buf.data(), buf.size())) > 0;) out->Append(buf.data(), n);
  out->Close();
  return before;
}

Env::TempCopy Env::CopyToTempBeside(const std::string& src, const std::string& target) {
  TempCopy copy;
  std::unique_ptr<WritableFile> out;
  copy.TempPath = CreateTempFileBeside(target, &out);
  try {
    copy.Source = Stat(src);
    std::unique_ptr<SequentialFile> in = NewSequentialFile(src);
    std::vector<char> buf(1 << 20);
    for (size_t n; (n = in->Read(buf.data(), buf.size())) > 0;) out->Append(buf.data(), n);
    out->Close();
    out.reset();
    std::optional<uint32_t> attrs = GetAttributes(src);
    if (!attrs) throw EInOutError("Cannot read the attributes of \"" + src + "\"", 0);
    copy.SourceAttributes = *attrs & ~faDirectory;
    SetFileTime(copy.TempPath, copy.Source.MTimeNs);
    SetAttributes(copy.TempPath, copy.SourceAttributes, &copy.Source);
    return copy;
  } catch (...) {
    out.reset();
    try {
      DeleteFile(copy.TempPath);
    } catch (...) {
      // The copy's own failure is the one to report.
    }
    throw;
  }
}

int Env::RemoveStaleTempFiles(const std::string& dir, const std::string& forName) {
  int removed = 0;
  const std::string thisHost = TempNameHost(HostName());
  try {
    const std::string folder = IncludeTrailingPathDelimiter(dir.empty() ? GetCurrentDir() : dir);
    for (const DirEntry& e : ListDirectory(folder)) {
      // Only plain files are ever made under these names; anything else is not ours.
      if (e.Kind != FileKind::Regular || e.IsSymlink) continue;
      std::string target, host;
      int64_t pid = 0;
      if (!ParseTempFileName(e.Name, &target, &pid, &host)) continue;
      if (!forName.empty() && !(FileNamesIgnoreCase ? AnsiSameText(target, forName) : target == forName)) continue;
      // Only this computer can tell whether a process of its own still runs.
      if (!host.empty() && host != thisHost) continue;
      if (ProcessExists(pid)) continue;
      try {
        DeleteFile(folder + e.Name);
        ++removed;
      } catch (const std::exception&) {
        // Left for the next time; the work that called for the tidying goes on regardless.
      }
    }
  } catch (const std::exception&) {
    // A folder that cannot be listed holds nothing that can be removed.
  }
  return removed;
}

std::string TempNameHost(const std::string& host) {
  std::string out;
  for (const char c : host.substr(0, 63)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    out += plain ? c : '_';
  }
  return out;
}

std::string TempFileNameBeside(const std::string& target, int64_t pid, uint64_t serial, uint32_t nonce,
                               const std::string& host) {
  std::string name = ExtractFilePath(target) + "." + ExtractFileName(target) + ".dvtmp" + std::to_string(pid) + "-" +
                     std::to_string(serial) + "-" + std::to_string(nonce);
  const std::string h = TempNameHost(host);
  if (!h.empty()) name += "@" + h;
  return name;
}

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool ParseTempFileName(const std::string& name, std::string* targetName, int64_t* pid, std::string* host) {
  static constexpr std::string_view kMark = ".dvtmp";
  const size_t mark = name.rfind(kMark);
  // A leading dot, a target name of at least one character, the mark, three numbers, then
  // perhaps "@" and the host.
  if (name.empty() || name[0] != '.' || mark == std::string::npos || mark < 2) return false;
  std::string_view numbers = std::string_view(name).substr(mark + kMark.size());
  std::string_view hostPart;
  if (const size_t at = numbers.find('@'); at != std::string_view::npos) {
    hostPart = numbers.substr(at + 1);
    numbers = numbers.substr(0, at);
    if (hostPart.empty() || TempNameHost(std::string(hostPart)) != hostPart) return false;
  }
  const size_t dash1 = numbers.find('-');
  const size_t dash2 = dash1 == std::string_view::npos ? dash1 : numbers.find('-', dash1 + 1);
  if (dash2 == std::string_view::npos) return false;
  const std::string_view idText = numbers.substr(0, dash1);
  if (!AllDigits(idText) || !AllDigits(numbers.substr(dash1 + 1, dash2 - dash1 - 1)) ||
      !AllDigits(numbers.substr(dash2 + 1)))
    return false;
  // No process id has more than ten digits; a longer number is no name of ours.
  if (idText.size() > 10) return false;
  const int64_t id = std::stoll(std::string(idText));
  if (id <= 0) return false;
  *targetName = name.substr(1, mark - 1);
  *pid = id;
  if (host) *host = std::string(hostPart);
  return true;
}

int32_t Env::FileAgeOf(const FileStat& st) {
  if (!st.Exists() || st.Kind == FileKind::Directory) return -1;
  return DateTimeToFileDate(LocalTimeOf(st.MTimeNs));
}

int32_t Env::FileAge(const std::string& path) { return FileAgeOf(Stat(path)); }

std::string Env::ExpandFileName(const std::string& path) {
  std::string drive = ExtractFileDrive(path);
  std::string full = path;
  // "/x", "C:\x" and "\\server\share\x" are absolute; "C:x" counts as relative here.
  bool absolute = !drive.empty() && (drive.back() == PathDelim || (drive.size() > 1 && drive[1] == PathDelim) ||
                                     (path.size() > drive.size() && path[drive.size()] == PathDelim));
  if (!absolute) {
    full = IncludeTrailingPathDelimiter(GetCurrentDir()) + path;
    drive = ExtractFileDrive(full);
  }
  // Resolve the segments after the drive part; ".." never climbs above the root.
  std::vector<std::string> parts;
  size_t i = drive.size();
  while (i <= full.size()) {
    size_t j = full.find(PathDelim, i);
    if (j == std::string::npos) j = full.size();
    std::string seg = full.substr(i, j - i);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(std::move(seg));
    }
    i = j + 1;
  }
  std::string out = drive;
  if (out.empty() || out.back() != PathDelim) out += PathDelim;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += PathDelim;
    out += parts[k];
  }
  // Keep a trailing separator the caller wrote (a directory path stays one).
  if (!parts.empty() && !path.empty() && path.back() == PathDelim) out += PathDelim;
  return out;
}

std::string ReadFileToString(Env& env, const std::string& path) {
  std::unique_ptr<SequentialFile> in = env.NewSequentialFile(path);
  std::string data;
  std::vector<char> buf(1 << 16);
  for (size_t n; (n = in->Read(buf.data(), buf.size())) > 0;) data.append(buf.data(), n);
  return data;
}

void WriteFileAtomically(Env& env, const std::string& path, const std::string& data) {
  WriteFileAtomically(env, path, [&](WritableFile& file) { file.Append(data); });
}

void WriteFileAtomically(Env& env, const std::string& path, const std::function<void(WritableFile&)>& write) {
  std::unique_ptr<WritableFile> file;
  std::string temp = env.CreateTempFileBeside(path, &file);
  try {
    write(*file);
    file->Sync();
    file->Close();
    file.reset();
    env.RenameFile(temp, path);
  } catch (...) {
    file.reset();
    try {
      env.DeleteFile(temp);
    } catch (...) {
      // The original failure is the one worth reporting.
    }
    throw;
  }
  // The rename itself survives a power cut only once the folder's entry is on disk.
  const std::string folder = ExtractFilePath(path);
  env.SyncDir(folder.empty() ? env.GetCurrentDir() : folder);
}

}  // namespace dravello
