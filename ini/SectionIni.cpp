#include "ini/SectionIni.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

constexpr char kCtrlZ = '\x1a';
// Used when FileBufferSize is 0 or negative.
constexpr size_t kDefaultBufferSize = 4096;

size_t ChunkSize(int32_t fileBufferSize) {
  return fileBufferSize > 0 ? static_cast<size_t>(fileBufferSize) : kDefaultBufferSize;
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// The index of the first line whose key (the text before its first "=") equals `key`, or -1.
int FindKeyLine(const TStringList& lines, std::string_view key) {
  for (int i = 0; i < lines.Count(); ++i) {
    std::string_view line = lines[i];
    size_t eq = line.find('=');
    if (eq != std::string_view::npos && AnsiCompareText(line.substr(0, eq), key) == 0) return i;
  }
  return -1;
}

// Brackets a batch of changes to a caller's list so its observers hear of them once.
class UpdateBracket {
 public:
  explicit UpdateBracket(TStringList& list) : list_(list) { list_.BeginUpdate(); }
  ~UpdateBracket() { list_.EndUpdate(); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  TStringList& list_;
};

// A name as it can be shown in one line of an error message.
std::string Printable(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == kCtrlZ) out += "\\x1A";
    else out += c;
  }
  return out;
}

bool BreaksLine(std::string_view s) { return s.find_first_of("\r\n\x1a") != std::string_view::npos; }

// Refuses what would not read back as written: a line break splits the line (CR ends a line, and
// other programs end lines at LF), a Ctrl-Z ends the file for the reader, and a key line shaped
// like "[...]" would start a new section and carry the section's later lines off with it.
void CheckWritable(const std::string& section, const std::string& key, const std::string& value) {
  if (BreaksLine(section))
    throw EConvertError("Cannot write to section \"" + Printable(section) +
                        "\": the section name contains a line break or Ctrl-Z");
  if (BreaksLine(key) || BreaksLine(value))
    throw EConvertError("Cannot write key \"" + Printable(key) + "\" in section \"" + Printable(section) +
                        "\": the key or its value contains a line break or Ctrl-Z");
  if (!key.empty() && key.front() == '[' && !value.empty() && value.back() == ']')
    throw EConvertError("Cannot write key \"" + key + "\" in section \"" + section +
                        "\": the line would read back as a section header");
}

// ---- Integer, date and number texts ----

std::optional<int32_t> ParseIniInteger(std::string text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
  // TryStrToInt is more lenient than the store's rule in two ways, both refused here: a sign
  // before a hexadecimal mark, and a "0x" anywhere but at the very start of the value.
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    ++i;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) return std::nullopt;
  }
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) return std::nullopt;
  return TryStrToInt(text);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Exactly `count` decimal digits at s[i].
bool TakeDigits(std::string_view s, size_t& i, size_t count, int& out) {
  if (i + count > s.size()) return false;
  out = 0;
  for (size_t k = 0; k < count; ++k) {
    char c = s[i + k];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  i += count;
  return true;
}

bool TakeChar(std::string_view s, size_t& i, char c) {
  if (i < s.size() && s[i] == c) {
    ++i;
    return true;
  }
  return false;
}

// "yyyy-mm-dd" of a real calendar day in the years 1 to 9999.
bool TakeDate(std::string_view s, size_t& i, TDateTimeParts& p) {
  if (!TakeDigits(s, i, 4, p.Year) || !TakeChar(s, i, '-') || !TakeDigits(s, i, 2, p.Month) ||
      !TakeChar(s, i, '-') || !TakeDigits(s, i, 2, p.Day))
    return false;
  if (p.Year < 1 || p.Month < 1 || p.Month > 12 || p.Day < 1) return false;
  // A day past the month's end comes back as another date.
  TDateTimeParts date{p.Year, p.Month, p.Day};
  TDateTimeParts back = DecodeDateTime(EncodeDateTime(date));
  return back.Year == p.Year && back.Month == p.Month && back.Day == p.Day;
}

// "hh:nn", optionally ":ss" and then ".zzz".
bool TakeTime(std::string_view s, size_t& i, TDateTimeParts& p) {
  if (!TakeDigits(s, i, 2, p.Hour) || !TakeChar(s, i, ':') || !TakeDigits(s, i, 2, p.Minute)) return false;
  p.Second = p.Millisecond = 0;
  if (TakeChar(s, i, ':')) {
    if (!TakeDigits(s, i, 2, p.Second)) return false;
    if (TakeChar(s, i, '.') && !TakeDigits(s, i, 3, p.Millisecond)) return false;
  }
  return p.Hour < 24 && p.Minute < 60 && p.Second < 60;
}

enum class DateForm { Date, Time, DateTime };

std::optional<TDateTime> ParseDateTime(std::string_view text, DateForm form) {
  std::string_view s = TrimBlanks(text);
  size_t i = 0;
  TDateTimeParts p;
  bool ok;
  switch (form) {
    case DateForm::Date:
      ok = TakeDate(s, i, p);
      break;
    case DateForm::Time:
      ok = TakeTime(s, i, p);
      if (ok) return (p.Hour * 3600000.0 + p.Minute * 60000.0 + p.Second * 1000.0 + p.Millisecond) / 86400000.0;
      break;
    case DateForm::DateTime:
      ok = TakeDate(s, i, p) && (i == s.size() || (TakeChar(s, i, ' ') && TakeTime(s, i, p)));
      break;
  }
  if (!ok || i != s.size()) return std::nullopt;
  return EncodeDateTime(p);
}

// TDateTime values of the years 1 to 9999, the range the text forms can hold.
void CheckDateTimeRange(TDateTime value) {
  if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0)
    throw EConvertError("Invalid date-time value " + std::to_string(value));
}

std::string DateTimeText(TDateTime value, DateForm form) {
  CheckDateTimeRange(value);
  TDateTimeParts p = DecodeDateTime(value);
  std::string date = FormatDateTime("yyyy-mm-dd", p);
  std::string time = FormatDateTime(p.Millisecond != 0 ? "hh:nn:ss.zzz" : "hh:nn:ss", p);
  switch (form) {
    case DateForm::Date:
      return date;
    case DateForm::Time:
      return time;
    case DateForm::DateTime:
      break;
  }
  return date + " " + time;
}

std::optional<double> ParseFloat(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) return std::nullopt;
  }
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string FloatText(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) throw EConvertError("Cannot format a floating-point value");
  return std::string(buf, end);
}

// ---- Reading the file ----

// The file's bytes up to the first Ctrl-Z, read in chunks of `chunk` bytes.
std::string ReadUpToCtrlZ(Env& env, const std::string& name, size_t chunk) {
  std::unique_ptr<SequentialFile> in = env.NewSequentialFile(name);
  std::vector<char> buffer(chunk);
  std::string text;
  for (size_t n; (n = in->Read(buffer.data(), buffer.size())) > 0;) {
    std::string_view got(buffer.data(), n);
    size_t z = got.find(kCtrlZ);
    text.append(got.substr(0, z));
    if (z != std::string_view::npos) break;
  }
  return text;
}

struct LoadFlags {
  bool SkipComments, KeyLinesOnly, TrimAroundEquals, UnquoteValues, TrimLineEnds;
};

// One line as the loader stores it; false when the line is to be dropped. `header` is set for a
// section header, whose name is then in `line`.
bool PrepareLine(std::string& line, const LoadFlags& f, bool& header) {
  header = false;
  if (f.SkipComments && !line.empty() && line.front() == ';') return false;
  if (line.empty()) return false;
  if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
    line = line.substr(1, line.size() - 2);
    header = true;
    return true;
  }
  if (f.TrimAroundEquals) {
    size_t eq = line.find('=');
    while (eq != std::string::npos && eq >= 1 && IsBlankOrTab(line[eq - 1])) {
      line.erase(eq - 1, 1);
      --eq;
    }
    if (eq != std::string::npos && eq != 0) {
      size_t end = eq + 1;
      while (end < line.size() && IsBlankOrTab(line[end])) ++end;
      line.erase(eq + 1, end - (eq + 1));
    }
  }
  if (f.UnquoteValues) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && eq != 0 && line.size() - eq - 1 >= 2) {
      char q = line[eq + 1];
      if (q == line.back() && (q == '"' || q == '\'')) {
        line.pop_back();
        line.erase(eq + 1, 1);
      }
    }
  }
  if (f.TrimLineEnds) {
    size_t end = line.size();
    while (end > 0 && static_cast<unsigned char>(line[end - 1]) <= 32) --end;
    line.resize(end);
  }
  if (f.KeyLinesOnly && line.find('=') == std::string::npos) return false;
  return true;
}

}  // namespace

// ---- TSectionList ---------------------------------------------------------------------------

const TClass& TSectionList::StaticClass() {
  static const TClass info("TSectionList", &TStringList::StaticClass());
  return info;
}

TSectionList::TSectionList() { SetOwnsObjects(true); }

TStringList& TSectionList::SectionLines(int index) const {
  TObject* lines = Objects(index);
  if (!lines) throw EListError(Format("Section %d has no line list", {int64_t{index}}));
  return static_cast<TStringList&>(*lines);
}

int TSectionList::AddSection(std::string name) {
  auto lines = std::make_unique<TStringList>();
  int index = AddObject(std::move(name), lines.get());
  static_cast<void>(lines.release());  // the entry owns it now
  return index;
}

int TSectionList::IndexOfSection(std::string_view name) {
  int n = Count();
  if (n == 0) return -1;
  int start = LastIndex >= 0 && LastIndex < n ? LastIndex : 0;
  for (int k = 0; k < n; ++k) {
    int i = (start + k) % n;
    if (AnsiCompareText(Strings(i), name) == 0) {
      LastIndex = i;
      return i;
    }
  }
  return -1;
}

int TSectionList::IndexOfKeyName(std::string_view name) const { return FindKeyLine(*this, name); }

bool TSectionList::RemoveDuplicates(const TSectionConflictEvent& onConflict) {
  int n = Count();
  if (n < 2) return false;

  // Positions in list order, sorted by name so that equal names become neighbours.
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::vector<std::string> keys;
  keys.reserve(order.size());
  for (int i = 0; i < n; ++i) keys.push_back(AnsiSortKey(Strings(i), true));
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)]; });

  bool removed = false;
  // Drops the entries whose line lists were freed, keeping the others in order. Runs also when a
  // handler raised, so that no entry is ever left without its line list.
  auto sweep = [&] {
    LastIndex = 0;
    if (!removed) return;
    int kept = 0;
    for (int i = 0; i < Count(); ++i) {
      if (!Objects(i)) continue;
      if (i != kept) Exchange(i, kept);
      ++kept;
    }
    while (Count() > kept) Delete(Count() - 1);
  };

  try {
    size_t head = 0;
    for (size_t i = 1; i < order.size(); ++i) {
      if (AnsiCompareText(Strings(order[i]), Strings(order[head])) != 0) {
        head = i;
        continue;
      }
      size_t earlier = head, later = i;
      if (order[earlier] > order[later]) std::swap(earlier, later);
      if (onConflict && !onConflict(Strings(order[earlier]), SectionLines(order[earlier]), SectionLines(order[later])))
        std::swap(earlier, later);
      std::unique_ptr<TObject> loser(Objects(order[later]));
      SetObject(order[later], nullptr);
      removed = true;
      head = earlier;
    }
  } catch (...) {
    sweep();
    throw;
  }
  sweep();
  return removed;
}

// ---- TSectionIniFile ------------------------------------------------------------------------

const TClass& TSectionIniFile::StaticClass() {
  static const TClass info("TSectionIniFile", &TObject::StaticClass());
  return info;
}

TSectionIniFile::TSectionIniFile(const std::string& fileName) { SetFileName(fileName); }

TSectionIniFile::~TSectionIniFile() {
  try {
    // Qualified: a derived store is already gone here, so only this class's write-back can run.
    TSectionIniFile::SaveIfModified();
  } catch (...) {
    // A destructor cannot report; callers who need to know use UpdateFile first.
  }
}

void TSectionIniFile::SetFileName(const std::string& fileName) {
  SaveIfModified();
  ClearSections();
  fileName_ = fileName;
  if (!fileName_.empty()) {
    try {
      LoadFile(fileName_);
    } catch (...) {
      ClearSections();
      fileName_.clear();
      Modified = false;
      throw;
    }
  }
  Modified = false;
}

void TSectionIniFile::LoadFile(const std::string& name) {
  CurrentSection = 0;
  Env& env = Env::Default();
  if (!env.Stat(name).Exists()) return;
  std::string text = ReadUpToCtrlZ(env, name, ChunkSize(FileBufferSize));

  // Parse into a list of our own first, so that the store changes only once the file has been
  // read completely.
  TSectionList loaded;
  const LoadFlags flags{SkipComments, KeyLinesOnly, TrimAroundEquals, UnquoteValues, TrimLineEnds};
  TStringList* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t cr = text.find('\r', pos);
    std::string line = text.substr(pos, cr == std::string::npos ? std::string::npos : cr - pos);
    if (cr == std::string::npos) {
      pos = text.size();
    } else {
      pos = cr + 1;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    bool header;
    if (!PrepareLine(line, flags, header)) continue;
    if (header) {
      current = &loaded.SectionLines(loaded.AddSection(std::move(line)));
    } else if (current) {
      current->Add(std::move(line));
    }
  }

  // Hand the sections over: the entries of `loaded` give up their line lists to Sections.
  for (int i = 0; i < loaded.Count(); ++i) {
    std::unique_ptr<TObject> lines(loaded.Objects(i));
    loaded.SetObject(i, nullptr);
    Sections.AddObject(loaded[i], lines.get());
    static_cast<void>(lines.release());
  }

  int before = Sections.Count();
  try {
    if (Sections.RemoveDuplicates(OnSectionConflict)) Modified = true;
  } catch (...) {
    if (Sections.Count() < before) Modified = true;
    throw;
  }
}

void TSectionIniFile::ClearSections() {
  Sections.Clear();
  Sections.LastIndex = 0;
}

int TSectionIniFile::LocateKey(const std::string& section, const std::string& key, bool create, TStringList** lines) {
  *lines = nullptr;
  int n = Sections.Count();
  int found = -1;
  if (n > 0) {
    int start = CurrentSection >= 0 && CurrentSection < n ? CurrentSection : 0;
    int i = start;
    for (;;) {
      CurrentSection = i;
      if (AnsiCompareText(Sections[i], section) == 0) {
        found = i;
        break;
      }
      i = (i + 1) % n;
      if (i == start) break;
    }
  }
  if (found < 0) {
    if (!create) return -1;
    CurrentSection = Sections.AddSection(section);
    *lines = &Sections.SectionLines(CurrentSection);
    return -1;
  }
  *lines = &Sections.SectionLines(found);
  return FindKeyLine(**lines, key);
}

void TSectionIniFile::DeleteKey(const std::string& section, const std::string& key) {
  TStringList* lines;
  int index = LocateKey(section, key, true, &lines);
  if (index >= 0) {
    lines->Delete(index);
    Modified = true;
  }
}

void TSectionIniFile::EraseSection(const std::string& section) {
  int index = Sections.IndexOfSection(section);
  if (index < 0) return;
  Sections.Delete(index);
  Sections.LastIndex = 0;
  Modified = true;
  if (CurrentSection >= Sections.Count()) CurrentSection = 0;
}

void TSectionIniFile::SaveIfModified() {
  if (!Modified) return;
  if (!fileName_.empty()) WriteBack();
  Modified = false;
}

void TSectionIniFile::WriteBack() {
  Env& env = Env::Default();
  // Replacing by rename would slip past a read-only mark that writing in place respects.
  std::optional<uint32_t> attributes = env.GetAttributes(fileName_);
  if (attributes && (*attributes & faReadOnly) && !(*attributes & faDirectory))
    throw EInOutError("Cannot write \"" + fileName_ + "\": the file is read-only", EACCES);
  // A write-back that was killed midway left its temporary file beside the INI.
  env.RemoveStaleTempFiles(ExtractFilePath(fileName_), ExtractFileName(fileName_));
  WriteFileAtomically(env, fileName_, [&](WritableFile& file) {
    const size_t chunk = ChunkSize(FileBufferSize);
    std::string buffer;
    buffer.reserve(chunk);
    auto put = [&](std::string_view s) {
      while (!s.empty()) {
        size_t n = std::min(chunk - buffer.size(), s.size());
        buffer.append(s.substr(0, n));
        s.remove_prefix(n);
        if (buffer.size() == chunk) {
          file.Append(buffer);
          buffer.clear();
        }
      }
    };
    for (int i = 0; i < Sections.Count(); ++i) {
      const TStringList& lines = Sections.SectionLines(i);
      if (lines.Empty()) continue;
      put("[");
      put(Sections[i]);
      put("]\r\n");
      for (const std::string& line : lines) {
        put(line);
        put("\r\n");
      }
      put("\r\n");
    }
    if (!buffer.empty()) file.Append(buffer);
  });
}

bool TSectionIniFile::HasSection(const std::string& section) { return Sections.IndexOfSection(section) >= 0; }

std::string TSectionIniFile::ReadValue(const std::string& section, const std::string& key, const std::string& defaultValue) {
  return ReadText(section, key, defaultValue);
}

void TSectionIniFile::ReadContents(TStringList& strings) {
  UpdateBracket bracket(strings);
  for (int i = 0; i < Sections.Count(); ++i) {
    const TStringList& lines = Sections.SectionLines(i);
    if (lines.Empty()) continue;
    strings.Add("[" + Sections[i] + "]");
    for (const std::string& line : lines) strings.Add(line);
    strings.Add("");
  }
}

bool TSectionIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

TDateTime TSectionIniFile::ReadDate(const std::string& section, const std::string& key, TDateTime defaultValue) {
  return ParseDateTime(ReadText(section, key, ""), DateForm::Date).value_or(defaultValue);
}

TDateTime TSectionIniFile::ReadDateTime(const std::string& section, const std::string& key, TDateTime defaultValue) {
  return ParseDateTime(ReadText(section, key, ""), DateForm::DateTime).value_or(defaultValue);
}

double TSectionIniFile::ReadFloat(const std::string& section, const std::string& key, double defaultValue) {
  return ParseFloat(ReadText(section, key, "")).value_or(defaultValue);
}

int32_t TSectionIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) {
  return ParseIniInteger(ReadText(section, key, "")).value_or(defaultValue);
}

void TSectionIniFile::ReadSection(const std::string& section, TStringList& strings) {
  int index = Sections.IndexOfSection(section);
  if (index < 0) return;
  UpdateBracket bracket(strings);
  for (const std::string& line : Sections.SectionLines(index)) {
    // A line without "=" has no key: listing it would name a key that no read can find.
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    std::string key = line.substr(0, eq);
    if (SkipComments && key.front() == ';') continue;
    strings.Add(std::move(key));
  }
}

void TSectionIniFile::ReadSections(TStringList& strings) {
  UpdateBracket bracket(strings);
  strings.Clear();
  for (int i = 0; i < Sections.Count(); ++i) strings.Add(Sections[i]);
}

void TSectionIniFile::ReadSectionValues(const std::string& section, TStringList& strings) {
  int index = Sections.IndexOfSection(section);
  if (index < 0) return;
  UpdateBracket bracket(strings);
  if (ClearBeforeSectionValues) strings.Clear();
  for (const std::string& line : Sections.SectionLines(index)) strings.Add(line);
}

std::string TSectionIniFile::ReadText(const std::string& section, const std::string& key, const std::string& defaultValue) {
  TStringList* lines;
  int index = LocateKey(section, key, false, &lines);
  if (index < 0) return defaultValue;
  // After the line's own "=": the caller's key may differ in length from the file's (letters
  // whose case partners have a different UTF-8 length, such as the Kelvin sign and "k").
  const std::string& line = (*lines)[index];
  return line.substr(line.find('=') + 1);
}

TDateTime TSectionIniFile::ReadTime(const std::string& section, const std::string& key, TDateTime defaultValue) {
  return ParseDateTime(ReadText(section, key, ""), DateForm::Time).value_or(defaultValue);
}

bool TSectionIniFile::SectionExists(const std::string& section) { return HasSection(section); }

void TSectionIniFile::UpdateFile() { SaveIfModified(); }

bool TSectionIniFile::ValueExists(const std::string& section, const std::string& key) {
  TStringList names;
  ReadSection(section, names);
  for (const std::string& name : names)
    if (AnsiCompareText(name, key) == 0) return true;
  return false;
}

void TSectionIniFile::WriteValue(const std::string& section, const std::string& key, const std::string& value) {
  WriteText(section, key, value);
}

void TSectionIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteText(section, key, value ? "1" : "0");
}

void TSectionIniFile::WriteDate(const std::string& section, const std::string& key, TDateTime value) {
  WriteText(section, key, DateTimeText(value, DateForm::Date));
}

void TSectionIniFile::WriteDateTime(const std::string& section, const std::string& key, TDateTime value) {
  WriteText(section, key, DateTimeText(value, DateForm::DateTime));
}

void TSectionIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  WriteText(section, key, FloatText(value));
}

void TSectionIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteText(section, key, IntToStr(value));
}

void TSectionIniFile::WriteText(const std::string& section, const std::string& key, const std::string& value) {
  if (key.empty()) {
    if (section.empty() && value.empty())
      SaveIfModified();
    else
      EraseSection(section);
    return;
  }
  CheckWritable(section, key, value);
  std::string newLine = key + "=" + value;
  TStringList* lines;
  int index = LocateKey(section, key, true, &lines);
  if (index < 0) {
    lines->Add(std::move(newLine));
    Modified = true;
  } else if ((*lines)[index] != newLine) {
    lines->SetString(index, std::move(newLine));
    Modified = true;
  }
}

void TSectionIniFile::WriteTime(const std::string& section, const std::string& key, TDateTime value) {
  WriteText(section, key, DateTimeText(value, DateForm::Time));
}

}  // namespace dravello
