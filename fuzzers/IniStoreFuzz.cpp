// The INI store on arbitrary files. The program's INI file is edited by hand and by other
// programs, so loading must survive any bytes, and every write-back must produce a file that
// loads to exactly what the store held: a write-back that changes structure loses settings.
//
// Per input: load the bytes as a file with all flags off and compare with a plain reading of the
// file rules; read every key; write, rewrite, delete and erase driven by the file's own texts;
// try the writes the store must refuse; write back and reload. Then load the bytes once more
// with the load flags the input's hash picks and a section-conflict handler, and write back.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "ini/SectionIni.h"
#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello::fuzz {

namespace {

constexpr int kMaxOperations = 64;
// No stored value can hold a CR, so this default tells "missing" from every real value.
const std::string kAbsent = "\r<absent>";

std::vector<std::string> Contents(TSectionIniFile& ini) {
  TStringList list;
  ini.ReadContents(list);
  return {list.begin(), list.end()};
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += Printable(l) + "\n";
  return out;
}

// What the file rules make of the bytes with every load flag off: lines end at CR or CR LF, a
// Ctrl-Z ends the file, empty lines and lines before the first header are dropped, and of equal
// section names only the first survives. Laid out as ReadContents lays out a store.
std::vector<std::string> ReferenceContents(std::string_view bytes) {
  if (size_t z = bytes.find('\x1a'); z != std::string_view::npos) bytes = bytes.substr(0, z);
  struct Section {
    std::string name;
    std::vector<std::string> lines;
  };
  std::vector<Section> sections;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t cr = bytes.find('\r', pos);
    std::string_view line = bytes.substr(pos, cr == std::string_view::npos ? std::string_view::npos : cr - pos);
    pos = cr == std::string_view::npos ? bytes.size() : cr + 1;
    if (pos < bytes.size() && cr != std::string_view::npos && bytes[pos] == '\n') ++pos;
    if (line.empty()) continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      sections.push_back({std::string(line.substr(1, line.size() - 2)), {}});
      current = &sections.back();
    } else if (current) {
      current->lines.emplace_back(line);
    }
  }
  std::vector<std::string> out;
  std::vector<const Section*> kept;
  for (const Section& s : sections) {
    bool duplicate = false;
    for (const Section* k : kept) duplicate = duplicate || AnsiCompareText(k->name, s.name) == 0;
    if (duplicate) continue;
    kept.push_back(&s);
    if (s.lines.empty()) continue;
    out.push_back("[" + s.name + "]");
    out.insert(out.end(), s.lines.begin(), s.lines.end());
    out.emplace_back();
  }
  return out;
}

bool BreaksLine(std::string_view s) { return s.find_first_of("\r\n\x1a") != std::string_view::npos; }

// The writes the store promises to refuse: anything that would read back as other lines or as a
// section header.
bool MustRefuse(const std::string& section, const std::string& key, const std::string& value) {
  return BreaksLine(section) || BreaksLine(key) || BreaksLine(value) ||
         (!key.empty() && key.front() == '[' && !value.empty() && value.back() == ']');
}

std::string Where(const std::string& section, const std::string& key, const std::string& value) {
  return "section " + Printable(section) + " key " + Printable(key) + " value " + Printable(value);
}

// Runs one write; true when it was carried out, false when it was refused as it had to be.
// A refused write must leave the store exactly as it was.
template <class Write>
bool TryWrite(TSectionIniFile& ini, const std::string& section, const std::string& key, const std::string& valueText,
              Write write) {
  const bool refuse = MustRefuse(section, key, valueText);
  const std::vector<std::string> before = refuse ? Contents(ini) : std::vector<std::string>();
  const bool modifiedBefore = ini.Modified;
  try {
    write();
  } catch (const EConvertError& e) {
    DV_FUZZ_CHECK(refuse, "refused a sound write (" + e.Message() + "): " + Where(section, key, valueText));
    DV_FUZZ_CHECK(Contents(ini) == before && ini.Modified == modifiedBefore,
                  "a refused write changed the store: " + Where(section, key, valueText));
    return false;
  }
  DV_FUZZ_CHECK(!refuse, "accepted a write that breaks the file: " + Where(section, key, valueText));
  return true;
}

uint64_t Hash(std::string_view s, uint64_t seed) {
  uint64_t h = 1469598103934665603ull ^ seed;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

int CountKey(TSectionIniFile& ini, const std::string& section, const std::string& key) {
  TStringList keys;
  ini.ReadSection(section, keys);
  int n = 0;
  for (const std::string& k : keys) n += AnsiCompareText(k, key) == 0;
  return n;
}

// One operation on an existing key, chosen by a hash of the key. False when it erased the
// section, whose other keys are then gone.
bool Operate(TSectionIniFile& ini, const std::string& section, const std::string& key, uint64_t h) {
  const std::string value = ini.ReadText(section, key, kAbsent);
  DV_FUZZ_CHECK(value != kAbsent, "listed key not found: " + Where(section, key, ""));
  DV_FUZZ_CHECK(ini.ValueExists(section, key), "listed key does not exist: " + Where(section, key, ""));
  // Typed reads of whatever the value holds.
  (void)ini.ReadInteger(section, key, -7);
  (void)ini.ReadBool(section, key, true);
  (void)ini.ReadFloat(section, key, 0.5);
  (void)ini.ReadDate(section, key, 1.0);
  (void)ini.ReadTime(section, key, 0.25);
  (void)ini.ReadDateTime(section, key, 2.0);

  const bool found = key.find('=') == std::string::npos;  // a key with "=" is never found again
  switch (h % 8) {
    case 0: {  // replace the value (with the key in capitals now and then)
      const std::string k = (h & 8) ? UpperCaseAscii(key) : key;
      const std::string v = value.substr(value.size() / 2) + value.substr(0, value.size() / 2);
      if (TryWrite(ini, section, k, v, [&] { ini.WriteText(section, k, v); }) && found)
        DV_FUZZ_CHECK(ini.ReadText(section, key, kAbsent) == v, "value not read back: " + Where(section, k, v));
      break;
    }
    case 1: {
      const auto n = static_cast<int32_t>(h >> 32);
      if (TryWrite(ini, section, key, IntToStr(n), [&] { ini.WriteInteger(section, key, n); }) && found)
        DV_FUZZ_CHECK(ini.ReadInteger(section, key, n ^ 1) == n, "integer not read back: " + Where(section, key, IntToStr(n)));
      break;
    }
    case 2: {
      const int before = CountKey(ini, section, key);
      ini.DeleteKey(section, key);
      DV_FUZZ_CHECK(CountKey(ini, section, key) == before - 1, "DeleteKey did not remove one line: " + Where(section, key, ""));
      break;
    }
    case 3: {
      double d;
      const uint64_t bits = h * 0x9E3779B97F4A7C15ull;
      std::memcpy(&d, &bits, sizeof d);
      if (TryWrite(ini, section, key, "0", [&] { ini.WriteFloat(section, key, d); }) && found) {
        const double back = ini.ReadFloat(section, key, 0.5);
        DV_FUZZ_CHECK(std::isnan(d) ? std::isnan(back) : std::memcmp(&back, &d, sizeof d) == 0,
                      "float not read back: " + Where(section, key, ini.ReadText(section, key, kAbsent)));
      }
      break;
    }
    case 4: {
      const bool b = (h >> 40) & 1;
      if (TryWrite(ini, section, key, "0", [&] { ini.WriteBool(section, key, b); }) && found)
        DV_FUZZ_CHECK(ini.ReadBool(section, key, !b) == b, "bool not read back: " + Where(section, key, ""));
      break;
    }
    case 5: {  // a date-time somewhere in the years the text form holds, or outside them
      const double d = static_cast<double>(static_cast<int64_t>(h >> 20) % 4000000) - 800000.0 +
                       static_cast<double>(h & 0xFFFFF) / 1048576.0;
      const bool sound = d >= -693593.0 && d < 2958466.0 && !MustRefuse(section, key, "0");
      try {
        ini.WriteDateTime(section, key, d);
      } catch (const EConvertError& e) {
        DV_FUZZ_CHECK(!sound, "refused a sound date-time (" + e.Message() + "): " + std::to_string(d));
        break;
      }
      DV_FUZZ_CHECK(sound, "accepted a date-time it cannot write: " + std::to_string(d) + " " + Where(section, key, ""));
      if (!found) break;
      // Text to value and back must be stable after the first rounding to milliseconds.
      const std::string text = ini.ReadText(section, key, kAbsent);
      ini.WriteDateTime(section, key, ini.ReadDateTime(section, key, -1e9));
      DV_FUZZ_CHECK(ini.ReadText(section, key, kAbsent) == text,
                    "date-time text not stable: " + Printable(text) + " became " +
                        Printable(ini.ReadText(section, key, kAbsent)));
      break;
    }
    case 6: {  // a new key made of the value
      if (value.empty()) break;
      if (TryWrite(ini, section, value, key, [&] { ini.WriteText(section, value, key); }) &&
          value.find('=') == std::string::npos)
        DV_FUZZ_CHECK(ini.ReadText(section, value, kAbsent) == key, "new key not read back: " + Where(section, value, key));
      break;
    }
    case 7:  // an empty key erases the section (or, with everything empty, writes back now)
      if (section.empty()) break;
      ini.WriteText(section, "", value);
      DV_FUZZ_CHECK(!ini.SectionExists(section), "section not erased: " + Printable(section));
      return false;
  }
  return true;
}

void CheckCrRefused(TSectionIniFile& ini, const std::string& section) {
  struct Write {
    std::string section, key, value;
  };
  const Write writes[] = {
      {section, "key\rx", "v"}, {section, "key", "a\r\nb"}, {section + "\r", "key", "v"}, {section, "[key", "value]"}};
  for (const Write& w : writes)
    DV_FUZZ_CHECK(!TryWrite(ini, w.section, w.key, w.value, [&] { ini.WriteText(w.section, w.key, w.value); }),
                  "must be refused: " + Where(w.section, w.key, w.value));
}

// Writes the store back and checks the file against what the store holds.
void WriteBackAndReload(TSectionIniFile& ini, const std::string& path, std::string_view original) {
  const bool modified = ini.Modified;
  ini.UpdateFile();
  DV_FUZZ_CHECK(!ini.Modified, "Modified still set after a successful write-back");
  const std::vector<std::string> held = Contents(ini);
  const std::string file = ReadFileToString(Env::Default(), path);
  if (!modified) {
    DV_FUZZ_CHECK(file == original, "an unmodified store rewrote its file");
  } else {
    std::string expected;
    for (const std::string& line : held) expected += line + "\r\n";
    DV_FUZZ_CHECK(file == expected, "file written " + Printable(file) + ", store held\n" + Joined(held));
  }
  for (const std::string& name : NamesIn(ExtractFilePath(path)))
    DV_FUZZ_CHECK(name == "store.ini" || name == "flags.ini", "temporary file left behind: " + name);
}

}  // namespace

int IniStore(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const uint64_t inputHash = Hash(bytes, 0);

  // ---- All flags off: the program's own use ----
  const std::string folder = ScratchFolder("ini_store");
  const std::string path = PutFile(folder + PathDelim + "store.ini", bytes);
  {
    TSectionIniFile ini(path);
    DV_FUZZ_CHECK(!ini.Modified, "a fresh store is modified");
    const std::vector<std::string> loaded = Contents(ini);
    if (ini.Sections.Count() <= 200) {
      const std::vector<std::string> expected = ReferenceContents(bytes);
      DV_FUZZ_CHECK(loaded == expected, "loaded\n" + Joined(loaded) + "expected\n" + Joined(expected));
    }

    TStringList sections;
    ini.ReadSections(sections);
    CheckCrRefused(ini, sections.Empty() ? std::string("s") : sections[0]);
    int budget = kMaxOperations;
    for (int s = 0; s < sections.Count() && budget > 0; ++s) {
      const std::string section = sections[s];
      TStringList keys;
      ini.ReadSection(section, keys);
      for (int k = 0; k < keys.Count() && budget > 0; ++k, --budget)
        if (!Operate(ini, section, keys[k], Hash(keys[k], inputHash + static_cast<uint64_t>(k)))) break;
    }
    // A key in a section of its own that the file did not have.
    if (TryWrite(ini, "fuzz: new", "Key", "value", [&] { ini.WriteText("fuzz: new", "Key", "value"); }))
      DV_FUZZ_CHECK(ini.ReadText("FUZZ: NEW", "KEY", kAbsent) == "value", "new section not read back");

    WriteBackAndReload(ini, path, bytes);
    const std::vector<std::string> held = Contents(ini);
    TSectionIniFile reloaded(path);
    const std::vector<std::string> again = Contents(reloaded);
    DV_FUZZ_CHECK(again == held, "the written file loads to\n" + Joined(again) + "the store held\n" + Joined(held));
  }

  // ---- Load flags and a conflict handler ----
  const std::string flagsPath = PutFile(folder + PathDelim + "flags.ini", bytes);
  {
    TSectionIniFile ini("");
    ini.SkipComments = inputHash & 1;
    ini.KeyLinesOnly = inputHash & 2;
    ini.TrimAroundEquals = inputHash & 4;
    ini.UnquoteValues = inputHash & 8;
    ini.TrimLineEnds = inputHash & 16;
    // The default and a few odd buffer sizes; tiny ones cut lines and CR LF pairs apart.
    static const int32_t kBufferSizes[] = {28672, 28672, 28672, 4096, 0, -1, 3, 1};
    ini.FileBufferSize = kBufferSizes[(inputHash >> 8) % 8];
    ini.OnSectionConflict = [&](const std::string&, TStringList& earlier, TStringList& later) {
      // Merge the later lines into the earlier section, or let the later one win.
      if (later.Count() % 2 == 0) {
        earlier.AddStrings(later);
        return true;
      }
      return false;
    };
    ini.SetFileName(flagsPath);
    TStringList sections;
    ini.ReadSections(sections);
    for (int s = 0; s < sections.Count() && s < 8; ++s) {
      TStringList values;
      ini.ReadSectionValues(sections[s], values);
      TStringList keys;
      ini.ReadSection(sections[s], keys);
      if (!keys.Empty()) {
        const std::string section = sections[s], key = keys[0];
        TryWrite(ini, section, key, "x", [&] { ini.WriteText(section, key, "x"); });
      }
    }
    // Written files are independent of the load flags: the check holds for them too.
    WriteBackAndReload(ini, flagsPath, bytes);
  }
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(IniStore)
