// The program's message catalogue: every message box, dialog title, prompt, status text and
// guarded-step description, in English ("en") and German ("de"), looked up by key in the
// program's current language.
//
// mlMessages() is the program-wide language component that holds the catalogue. It has no owner
// (no window translates through it) and lives from its first use until the program exits; the
// start-up touches it before any window is created. Its Language is the program's current
// language; until one is set every lookup gives the empty string.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "lang/Localizer.h"
#include "runtime/SysUtils.h"

namespace dravello {

// The catalogue lines as stored: "[en]", the English entries, an empty line, "[de]", the German
// entries (the same keys in the same order), each written "key = 'text'" with line breaks still
// as backslash and "n".
std::span<const std::string_view> MessageCatalogue();

// Whether the catalogue has a section for the language `code` ("en", "de"; case-sensitive).
bool CatalogueHasLanguage(std::string_view code);

// The program-wide message component, created empty (no script, no language) on first use.
TLocalizer& mlMessages();

// The text of `key` in the current language with line breaks as CR LF; the empty string for an
// unknown key or before a language is set. The first call loads the catalogue into mlMessages
// (through its Script, which also selects the current language).
std::string MessageText(std::string_view key);

// MessageText(key) formatted with `args` by Format; a directive that does not fit its argument
// raises Format's EConvertError to the caller.
std::string MessageTextFmt(std::string_view key, std::initializer_list<FormatArg> args);

}  // namespace dravello
