// The backup scripts as the INI file keeps them: one section "script: <name>" per script, and
// the names listed in section "scripts". Each call is one load-modify-save cycle of the store.
#pragma once

#include <string>
#include <string_view>

#include "app/u_types.h"

namespace dravello {

// Every field at its default.
void ResetScript(TBackupScript& script);
// Fills every field but Name (which must be set) from the script's section.
void ReadScript(const std::string& iniFile, TBackupScript& script);
// Stores every field in the script's section and lists the name; raises when the file cannot
// be written.
void WriteScript(const std::string& iniFile, const TBackupScript& script);
// Removes the script's section and its line in "scripts".
void DeleteScript(const std::string& iniFile, const std::string& name);

// Whether a script of this name comes back from the INI file under the same name: it is not
// empty, holds no "=" (the end of a key), no line break or other control character (a line
// break would split the line, Ctrl-Z ends the file), and neither begins nor ends with a blank
// (which a command line cannot pass).
bool IsStorableScriptName(std::string_view name);

}  // namespace dravello
