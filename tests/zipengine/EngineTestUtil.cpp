#include "EngineTestUtil.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>

#include "runtime/SysUtils.h"
#include "tests/support/Shell.h"
#include "tests/support/ZipReader.h"

namespace dravello::zipengine::test {

namespace {

std::filesystem::path FsPathOf(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::string Native(std::string path) {
  for (char& c : path)
    if (c == '/') c = PathDelim;
  return path;
}

std::string In(const std::string& dir, const std::string& rel) { return IncludeTrailingPathDelimiter(dir) + Native(rel); }

std::string StoredName(const std::string& path) {
  std::string s = PathWithoutDrive(path);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

TempFolder::TempFolder() {
  std::random_device rd;
  const std::u8string u =
      (std::filesystem::temp_directory_path() / ("dv-engine-" + std::to_string(rd()) + std::to_string(rd())))
          .make_preferred()
          .u8string();
  path_.assign(u.begin(), u.end());
  Env::Platform().ForceDirectories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Read-only files cannot be removed on Windows until they are writable again.
  for (auto it = std::filesystem::recursive_directory_iterator(FsPathOf(path_), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FsPathOf(path_), ec);
}

void WriteFile(const std::string& path, const std::string& content, int64_t mtimeNs) {
  Env& env = Env::Platform();
  env.ForceDirectories(ExtractFilePath(path));
  std::unique_ptr<WritableFile> f = env.NewWritableFile(path);
  f->Append(content);
  f->Close();
  if (mtimeNs != 0) env.SetFileTime(path, mtimeNs);
}

std::string ReadFile(const std::string& path) { return ReadFileToString(Env::Platform(), path); }

EngineCommand::EngineCommand(std::string archive) : archive_(std::move(archive)) {
  cmd_.ArchiveName = archive_.c_str();
  cmd_.CallbackProc = &EngineCommand::Callback;
  cmd_.ComponentRef = this;
  cmd_.EngineVersion = kEngineVersion;
  cmd_.QuietFlag = -1;
  cmd_.CompressionLevel = 9;
  cmd_.HiddenFilesFlag = -1;
  cmd_.OmitDirEntries = -1;
  cmd_.InPlaceFlag = -1;
  std::memcpy(cmd_.FromDate, "12 30 99", 8);
  cmd_.CheckValue = 7;
}

EngineCommand& EngineCommand::BackupToolDefaults() {
  suffixes_ = kBackupToolSuffixes;
  cmd_.StoreSuffixText = suffixes_.c_str();
  cmd_.CompressionLevel = 9;
  cmd_.HiddenFilesFlag = -1;
  cmd_.StripPaths = 0;
  cmd_.OmitDirEntries = -1;
  return *this;
}

EngineCommand& EngineCommand::Spec(const std::string& text, bool recurse, const std::string& password, bool encrypt,
                                   const std::string& rootDir) {
  ZipFileSpec s{};
  texts_.push_back(std::make_unique<std::string>(text));
  s.SpecText = texts_.back()->c_str();
  if (!password.empty()) {
    texts_.push_back(std::make_unique<std::string>(password));
    s.SpecPassword = texts_.back()->c_str();
  }
  s.SpecEncrypt = encrypt ? -1 : 0;
  s.SpecRecurse = recurse ? 0xFFFF : 0;
  if (!rootDir.empty()) {
    texts_.push_back(std::make_unique<std::string>(rootDir));
    s.SpecRootDir = texts_.back()->c_str();
  }
  specs_.push_back(s);
  return *this;
}

EngineCommand& EngineCommand::Exclude(const std::string& pattern) {
  texts_.push_back(std::make_unique<std::string>(pattern));
  excludes_.push_back(texts_.back()->c_str());
  return *this;
}

int32_t EngineCommand::Run(const EngineTuning& tuning) {
  cmd_.SpecCount = static_cast<int32_t>(specs_.size());
  cmd_.Specs = specs_.data();
  cmd_.ExcludeCount = static_cast<int32_t>(excludes_.size());
  cmd_.Excludes = excludes_.empty() ? nullptr : excludes_.data();
  events_.clear();
  seen_ = 0;
  return RunZipCommand(cmd_, tuning);
}

int32_t ZIPENGINE_CALL EngineCommand::Callback(ZipCallbackData* data) {
  auto* self = static_cast<EngineCommand*>(data->ComponentRef);
  CallbackEvent ev;
  ev.Action = data->ActionCode;
  ev.Arg = data->ActionArg;
  ev.Value = data->FileSize;
  ev.Text = std::string(data->Text, strnlen(data->Text, sizeof data->Text));
  ev.Thread = std::this_thread::get_id();
  if (!self->messagesOnly_ || ev.Action == zcaMessage) self->events_.push_back(ev);
  if (data->ActionCode == zcaPassword) {
    if (self->passwordAnswer_.empty()) {
      data->ActionArg = 0;
    } else {
      std::snprintf(data->Text, sizeof data->Text, "%s", self->passwordAnswer_.c_str());
      data->ActionArg = 1;
    }
  }
  if (data->ActionCode == self->abortAction_ && ++self->seen_ == self->abortNth_) return -1;
  return 0;
}

std::vector<CallbackEvent> EngineCommand::EventsOf(int32_t action) const {
  std::vector<CallbackEvent> out;
  for (const CallbackEvent& e : events_)
    if (e.Action == action) out.push_back(e);
  return out;
}

std::string EngineCommand::Messages() const {
  std::string out;
  for (const CallbackEvent& e : EventsOf(zcaMessage)) out += std::to_string(e.Arg) + ": " + e.Text + "\n";
  return out;
}

ToolResult RunTool(const std::string& command) {
  ToolResult r;
  r.Output = testing::CaptureOutput(command + " 2>&1", &r.Status);
  return r;
}

std::string Quote(const std::string& s) { return testing::ShellQuote(s); }

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    out += digits[(static_cast<unsigned char>(c) >> 4) & 15];
    out += digits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

}  // namespace

std::string ReadersReject(const std::string& archive, const std::string& password) {
  std::string failures;
  const std::string own = testing::ZipReaderFaults(archive, password);
  if (!own.empty()) failures += "the tests' own reader failed:\n" + own + "\n";
  if (!testing::LinuxToolsAvailable()) return failures;

  std::string q = Quote(archive);
  std::string pw = password.empty() ? "" : " -P " + Quote(password);
  std::string pw7 = password.empty() ? " -p-" : " -p" + Quote(password);
  std::string pyPw = password.empty() ? "" : "z.setpassword(" + Quote(password) + ".encode());";
  struct Check {
    const char* Name;
    std::string Command;
  } checks[] = {
      {"unzip -t", "unzip -tq" + pw + " " + q},
      {"7zz t", "7zz t -bd" + pw7 + " " + q},
      {"python zipfile", "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); " + pyPw +
                             "r=z.testzip(); sys.exit(1 if r else 0)\" " + q},
      {"bsdtar -tf", "bsdtar -tf " + q + " >/dev/null"},
  };
  for (const Check& c : checks) {
    ToolResult r = RunTool(c.Command);
    if (r.Status != 0) failures += std::string(c.Name) + " failed (" + std::to_string(r.Status) + "):\n" + r.Output + "\n";
  }
  return failures;
}

std::vector<PyEntry> ListWithPython(const std::string& archive) {
  if (!testing::LinuxToolsAvailable()) {
    std::vector<PyEntry> out;
    for (const testing::ZipReaderEntry& z : testing::ParseZip(testing::ReadBytes(archive)).Entries) {
      PyEntry e;
      e.Name = z.Name;
      e.Method = z.Method;
      e.Flags = z.Flags;
      e.ExternalAttr = z.ExternalAttr;
      e.CreateSystem = z.CreateSystem;
      e.Size = z.Size;
      e.CompressSize = z.CompressSize;
      e.HeaderOffset = z.HeaderOffset;
      e.Year = z.Year;
      e.Month = z.Month;
      e.Day = z.Day;
      e.Hour = z.Hour;
      e.Minute = z.Minute;
      e.Second = z.Second;
      e.Extra = z.Extra.empty() ? "-" : Hex(z.Extra);
      out.push_back(e);
    }
    return out;
  }
  ToolResult r = RunTool(
      "python3 -c \"import zipfile,sys\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
      "  print(i.filename.encode('utf-8').hex(), i.compress_type, i.flag_bits, i.external_attr, i.create_system,"
      " i.file_size, i.compress_size, i.header_offset, *i.date_time, i.extra.hex() or '-')\" " +
      Quote(archive));
  std::vector<PyEntry> out;
  std::istringstream in(r.Output);
  std::string hexName;
  while (in >> hexName) {
    PyEntry e;
    for (size_t i = 0; i + 1 < hexName.size(); i += 2) e.Name += static_cast<char>(std::stoi(hexName.substr(i, 2), nullptr, 16));
    in >> e.Method >> e.Flags >> e.ExternalAttr >> e.CreateSystem >> e.Size >> e.CompressSize >> e.HeaderOffset >>
        e.Year >> e.Month >> e.Day >> e.Hour >> e.Minute >> e.Second >> e.Extra;
    out.push_back(e);
  }
  return out;
}

std::string PythonComment(const std::string& archive) {
  if (!testing::LinuxToolsAvailable()) return testing::ParseZip(testing::ReadBytes(archive)).Comment;
  return RunTool("python3 -c \"import zipfile,sys; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).comment)\" " +
                 Quote(archive))
      .Output;
}

std::string UnzipContent(const std::string& archive, const std::string& name, const std::string& password) {
  if (!testing::LinuxToolsAvailable()) return testing::ZipReaderContent(archive, name, password);
  // unzip treats names as patterns; escape the wildcard characters.
  std::string escaped;
  for (char c : name) {
    if (c == '*' || c == '?' || c == '[' || c == ']') escaped += '\\';
    escaped += c;
  }
  std::string pw = password.empty() ? "" : " -P " + Quote(password);
  return RunTool("unzip -p" + pw + " " + Quote(archive) + " " + Quote(escaped) + " 2>/dev/null").Output;
}

std::string RawEntryData(const std::string& archive, const std::string& name) {
  if (!testing::LinuxToolsAvailable()) {
    const std::string bytes = testing::ReadBytes(archive);
    for (const testing::ZipReaderEntry& e : testing::ParseZip(bytes).Entries) {
      std::string why;
      if (e.Name == name) return Hex(testing::StoredBytes(bytes, e, &why).value_or(std::string()));
    }
    return std::string();
  }
  return RunTool("python3 -c \"import zipfile,sys,struct\n"
                 "z=zipfile.ZipFile(sys.argv[1]); i=z.getinfo(sys.argv[2]); f=open(sys.argv[1],'rb')\n"
                 "f.seek(i.header_offset); h=f.read(30); n,m=struct.unpack('<HH',h[26:30]); f.seek(i.header_offset+30+n+m)\n"
                 "sys.stdout.write(f.read(i.compress_size).hex())\" " +
                 Quote(archive) + " " + Quote(name))
      .Output;
}

}  // namespace dravello::zipengine::test
