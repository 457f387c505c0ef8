// Language scripts: the text format of the scripts that hold a window's captions and the message
// catalogue, and the routines that pick one language out of a script and find a text in it.
//
// A script is a list of lines. Each line is trimmed (codes of 32 and less removed at both ends)
// and is then blank, a section header "[name]" starting the section of one language, a comment
// starting with ";", or an entry "name = value". Entries above the first header belong to the
// section with the empty name.
#pragma once

#include <string>
#include <string_view>

#include "runtime/Classes.h"

namespace dravello {

struct TScriptEntry {
  std::string Name;
  std::string Value;
};

// Splits an entry line at its first "=" into a trimmed name and a trimmed value. A value whose
// first and last characters are both "'" loses those two characters (a lone "'" gives the empty
// value); nothing inside the quotes changes. Then every backslash followed by "n" becomes CR LF;
// there is no other escape. A line without "=" has the empty name and the whole line as its value.
TScriptEntry SplitLine(std::string_view line);

// The section name of a header line that starts with "[": the text up to the first "]" with the
// letters A to Z lowered; the empty name when there is no "]".
std::string SectionName(std::string_view header);

// Clears `lines` and fills it with the trimmed entry lines of the sections whose name equals
// `language` (A to Z lowered), in script order; sections of the same name add up. The empty code
// selects the entries above the first header.
void SelectLanguage(const TStringList& script, TStringList& lines, std::string_view language);

// The value of the first line whose name equals `key` exactly (bytes, case-sensitive), or the
// empty string.
std::string FindValue(const TStringList& lines, std::string_view key);

}  // namespace dravello
