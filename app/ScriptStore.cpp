#include "app/ScriptStore.h"

#include <algorithm>

#include "ini/SectionIni.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

const char* const kScripts = "scripts";
const char* const kScriptPrefix = "script: ";

}  // namespace

void ResetScript(TBackupScript& script) { script = TBackupScript{}; }

void ReadScript(const std::string& iniFile, TBackupScript& script) {
  TSectionIniFile ini(iniFile);
  const std::string section = kScriptPrefix + script.Name;
  script.CopyFiles = ini.ReadBool(section, "CopyFiles", true);
  script.DstPath = AddBackslash(ini.ReadText(section, "DstPath", ""));
  script.DstFormat = static_cast<uint8_t>(ini.ReadInteger(section, "DstFormat", 0));
  script.SrcPath = ini.ReadText(section, "SrcPath", "");
  script.SrcExt = LowerCaseAscii(ini.ReadText(section, "SrcExt", ""));
  script.UseArchiveAttrib = ini.ReadBool(section, "UseArchiveAttrib", false);
  script.RemArchiveAttrib = ini.ReadBool(section, "RemArchiveAttrib", false);
  script.InclFiles = ini.ReadBool(section, "InclFiles", true);
  script.KeepBackups = std::max(0, ini.ReadInteger(section, "KeepBackups", 0));
  // A hand-written single item without quotes still parses as one item.
  for (std::string* value : {&script.SrcPath, &script.SrcExt}) {
    if (value->empty()) continue;
    if (value->back() != '"') *value += '"';
    if (value->front() != '"') value->insert(value->begin(), '"');
  }
}

void WriteScript(const std::string& iniFile, const TBackupScript& script) {
  TSectionIniFile ini(iniFile);
  const std::string section = kScriptPrefix + script.Name;
  ini.WriteBool(section, "CopyFiles", script.CopyFiles);
  ini.WriteText(section, "DstPath", AddBackslash(script.DstPath));
  ini.WriteInteger(section, "DstFormat", script.DstFormat);
  ini.WriteText(section, "SrcPath", script.SrcPath);
  ini.WriteText(section, "SrcExt", script.SrcExt);
  ini.WriteBool(section, "UseArchiveAttrib", script.UseArchiveAttrib);
  ini.WriteBool(section, "RemArchiveAttrib", script.RemArchiveAttrib);
  ini.WriteBool(section, "InclFiles", script.InclFiles);
  // Only a script that keeps fewer than all its backups carries the key, so scripts that do not
  // use it stay as they were written.
  if (script.KeepBackups > 0)
    ini.WriteInteger(section, "KeepBackups", script.KeepBackups);
  else
    ini.DeleteKey(section, "KeepBackups");
  ini.WriteText(kScripts, script.Name, "");
  ini.UpdateFile();
}

void DeleteScript(const std::string& iniFile, const std::string& name) {
  TSectionIniFile ini(iniFile);
  ini.EraseSection(kScriptPrefix + name);
  ini.DeleteKey(kScripts, name);
  ini.UpdateFile();
}

bool IsStorableScriptName(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '=' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace dravello
