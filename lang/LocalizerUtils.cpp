#include "lang/LocalizerUtils.h"

#include "runtime/SysUtils.h"

namespace dravello {

TScriptEntry SplitLine(std::string_view line) {
  TScriptEntry entry;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    entry.Value = Trim(line);
  } else {
    entry.Name = Trim(line.substr(0, eq));
    entry.Value = Trim(line.substr(eq + 1));
  }
  std::string& v = entry.Value;
  // Quotes only protect blanks at the ends; a single "'" is both its first and last character.
  if (!v.empty() && v.front() == '\'' && v.back() == '\'')
    v = v.size() == 1 ? std::string() : v.substr(1, v.size() - 2);
  v = StringReplaceAll(v, "\\n", "\r\n");
  return entry;
}

std::string SectionName(std::string_view header) {
  if (!header.empty() && header.front() == '[') header.remove_prefix(1);
  const size_t close = header.find(']');
  if (close == std::string_view::npos) return std::string();
  return LowerCaseAscii(header.substr(0, close));
}

void SelectLanguage(const TStringList& script, TStringList& lines, std::string_view language) {
  // Read the script before touching the lines: the caller may pass the same list twice.
  const std::string code = LowerCaseAscii(language);
  std::vector<std::string> selected;
  std::string section;
  for (const std::string& raw : script) {
    std::string line = Trim(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = SectionName(line);
    } else if (line.front() != ';' && section == code) {
      selected.push_back(std::move(line));
    }
  }
  lines.BeginUpdate();
  lines.Clear();
  for (std::string& line : selected) lines.Add(std::move(line));
  lines.EndUpdate();
}

std::string FindValue(const TStringList& lines, std::string_view key) {
  for (const std::string& line : lines) {
    TScriptEntry entry = SplitLine(line);
    if (entry.Name == key) return std::move(entry.Value);
  }
  return std::string();
}

}  // namespace dravello
