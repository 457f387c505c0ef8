// SectionIni: an INI file kept wholly in memory as an ordered list of sections, each an ordered
// list of text lines, with typed reads and writes addressed by section and key.
//
// One store is one load-modify-save cycle: construct it on a file name (which loads the file),
// make the calls, and let it go (which writes the file back when anything changed). Between the
// load and the write-back no file is open.
//
// The file as read: 8-bit text; a line ends at CR or CR LF (a LF on its own is part of the line);
// a Ctrl-Z (code 26) ends the file. Empty lines are dropped; "[name]" (the first character "[" and
// the last "]") starts a section; other lines belong to the current section, and lines before the
// first section are dropped. Of several sections with the same name (compared as below) only the
// first survives, unless OnSectionConflict decides otherwise.
//
// The file as written: for each section that has lines, "[name]", its lines exactly as stored and
// one empty line, every line ending with CR LF; nothing before the first section. A store whose
// Modified is false never writes.
//
// Names: a line's key is the text before its first "=", its value the text after it; a line
// without "=" has no key and is never found by key, but stays in its section. Section names, key
// names and ValueExists compare with AnsiCompareText (locale-aware, case-insensitive, untrimmed).
//
// Text forms of the typed values (fixed, independent of the user's locale, so a file reads the
// same on every machine):
//   WriteInteger   decimal with "-" before negative values
//   ReadInteger    optional blanks, then [+|-] decimal digits (signed 32-bit range), or a
//                  hexadecimal mark "$", "x", "X" (or "0x"/"0X" at the very start of the value)
//                  and hexadecimal digits fitting 32 bits, taken as the bit pattern ("$FFFFFFFF"
//                  is -1); no sign before a hexadecimal number, nothing after the digits.
//                  Anything else, the empty value included, gives the default.
//   WriteBool      "1" or "0";  ReadBool: any integer (as ReadInteger) other than 0 is true.
//   WriteDate      "yyyy-mm-dd"                    e.g. 2004-03-15
//   WriteTime      "hh:nn:ss", plus ".zzz" when the milliseconds are not 0
//   WriteDateTime  "yyyy-mm-dd hh:nn:ss", plus ".zzz" when the milliseconds are not 0
//   WriteFloat     the shortest text that reads back as the same double, with "." as the decimal
//                  separator ("0.1", "-2.5", "1e+300", "inf", "nan")
//   ReadDate accepts exactly the date form; ReadTime "hh:nn" with optional ":ss" and ".zzz";
//   ReadDateTime a date, optionally followed by one blank and a time as ReadTime accepts it;
//   ReadFloat a decimal or scientific number with an optional sign, "inf" or "nan". Blanks around
//   the text are ignored. The default is returned for a missing key, an empty value or a text
//   that does not convert (an impossible date such as 2023-02-29 included).
//
// Failures: a missing file is no error (the store starts empty). Reading or writing the file
// raises EInOutError (or EOSError for a refused rename) carrying the system's error number. The
// writers refuse, with EConvertError, a section name, key or value that would change the file's
// structure when read back: one containing CR, LF or Ctrl-Z, or a key line that would read back
// as a section header ("[" at the start of the key, "]" at the end of the value).
//
// Write-back is atomic: the content goes to a new file in the same folder, which is flushed to
// disk and renamed over the INI file with the old file's permission bits; a file marked read-only
// is not replaced (EInOutError with the access-denied code). When any step fails the
// old file is left exactly as it was, the temporary file is removed, the failure is raised and
// Modified stays true, so a later UpdateFile can try again.
//
// The destructor also writes back when Modified is set, but a destructor cannot report a
// failure: it tries once and swallows any error silently. Callers that must know whether their
// changes reached the disk call UpdateFile (or SaveIfModified) before the store goes away.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/Classes.h"
#include "runtime/DateTime.h"
#include "runtime/Object.h"

namespace dravello {

// Decides which of two equally named sections survives a load. Called with the name, the lines
// of the section that stands earlier in the file and those of the later one; returning true keeps
// the earlier section, false keeps the later one. The handler may move or merge lines between the
// two lists before it decides; the loser's list is freed afterwards.
using TSectionConflictEvent = std::function<bool(const std::string& name, TStringList& earlier, TStringList& later)>;

// The sections of a store: entry i holds a section name and, as its object, that section's line
// list, which the entry owns (it is freed when the entry is removed or the list is destroyed).
// Every lookup of a section by name goes through IndexOfSection; IndexOf called on a TSectionList
// is redirected to it (through a plain TStringList reference it is the list's ordinary search).
class TSectionList : public TStringList {
  DV_CLASS(TSectionList)

 public:
  TSectionList();

  // Where the next IndexOfSection starts. Reset to 0 when the store clears its sections, erases
  // a section or removes duplicates.
  int LastIndex = 0;

  // The line list of entry index (EListError when out of range).
  TStringList& SectionLines(int index) const;

  // Adds a section with no lines at the end; returns its index.
  int AddSection(std::string name);

  // Removes all but one section of every name (see TSectionConflictEvent; without a handler the
  // first in list order survives with its own lines). Survivors keep their positions. True when
  // anything was removed. LastIndex := 0.
  bool RemoveDuplicates(const TSectionConflictEvent& onConflict);

  // The first entry whose name equals `name`, searching from LastIndex to the end and then from
  // the start; the match becomes LastIndex. -1 when there is none.
  virtual int IndexOfSection(std::string_view name);
  int IndexOf(std::string_view name) { return IndexOfSection(name); }

  // The first entry whose text before its first "=" equals `name` (entries without "=" never
  // match), or -1.
  virtual int IndexOfKeyName(std::string_view name) const;
};

class TSectionIniFile : public TObject {
  DV_CLASS(TSectionIniFile)

 public:
  // Loads `fileName` (nothing when it is empty or no such file exists). Raises what the load
  // raises.
  explicit TSectionIniFile(const std::string& fileName);
  // Writes back when Modified is set; a failure is swallowed (see the file comment).
  ~TSectionIniFile() override;

  // ---- State ----
  bool Modified = false;
  // Size of the buffer each read or write of the file goes through; <= 0 uses a default size.
  int32_t FileBufferSize = 28672;
  TSectionConflictEvent OnSectionConflict;

  const std::string& FileName() const { return fileName_; }
  // Writes pending changes to the old file (SaveIfModified), drops all sections, loads the new
  // file and clears Modified. When the load fails the store is left empty with no file name, so
  // that it can never overwrite a file it could not read; the failure is raised.
  void SetFileName(const std::string& fileName);

  // The section the last key access found or created; LocateKey's circular search starts here.
  int32_t CurrentSection = 0;
  bool ClearBeforeSectionValues = false;
  // Load flags, applied line by line while loading.
  bool SkipComments = false;      // drop lines starting with ";" (and ReadSection skips such keys)
  bool KeyLinesOnly = false;      // drop lines without "="
  bool TrimAroundEquals = false;  // drop blanks and tabs directly around the first "="
  bool UnquoteValues = false;     // drop one pair of equal quotes ('' or "") around the value
  bool TrimLineEnds = false;      // drop trailing characters with codes 0 to 32
  TSectionList Sections;

  // ---- Operations ----
  // Appends the sections of file `name` to the store, then removes duplicate sections (setting
  // Modified when any was removed). Nothing happens when no such file exists. All or nothing:
  // when reading fails, no section is added.
  virtual void LoadFile(const std::string& name);
  // Frees all sections; LastIndex := 0. Modified is unchanged.
  virtual void ClearSections();
  // Removes the first line of Key in Section. A missing section is added empty (it is never
  // written) without setting Modified.
  virtual void DeleteKey(const std::string& section, const std::string& key);
  virtual void EraseSection(const std::string& section);
  // Writes the file back when Modified is set (see the file comment); Modified := false after
  // writing or when there is no file name. Raises, leaving Modified set, when writing fails.
  virtual void SaveIfModified();
  virtual bool HasSection(const std::string& section);
  virtual std::string ReadValue(const std::string& section, const std::string& key, const std::string& defaultValue);
  // Appends "[name]", the lines and one empty string for every section that has lines.
  virtual void ReadContents(TStringList& strings);
  virtual bool ReadBool(const std::string& section, const std::string& key, bool defaultValue);
  virtual TDateTime ReadDate(const std::string& section, const std::string& key, TDateTime defaultValue);
  virtual TDateTime ReadDateTime(const std::string& section, const std::string& key, TDateTime defaultValue);
  virtual double ReadFloat(const std::string& section, const std::string& key, double defaultValue);
  virtual int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue);
  // Appends the keys of the section's lines (skipping empty keys, and keys starting with ";" when
  // SkipComments is set); a key on two lines is appended twice. Nothing when there is no such
  // section. Strings is not cleared.
  virtual void ReadSection(const std::string& section, TStringList& strings);
  // Replaces the content of strings with all section names in order.
  virtual void ReadSections(TStringList& strings);
  // Appends every line of the section (after clearing strings when ClearBeforeSectionValues is
  // set). Nothing when there is no such section.
  virtual void ReadSectionValues(const std::string& section, TStringList& strings);
  // Everything after the first "=" of the key's line, exactly as stored; defaultValue when the
  // section or key does not exist.
  virtual std::string ReadText(const std::string& section, const std::string& key, const std::string& defaultValue);
  virtual TDateTime ReadTime(const std::string& section, const std::string& key, TDateTime defaultValue);
  virtual bool SectionExists(const std::string& section);
  virtual void UpdateFile();
  virtual bool ValueExists(const std::string& section, const std::string& key);
  virtual void WriteValue(const std::string& section, const std::string& key, const std::string& value);
  virtual void WriteBool(const std::string& section, const std::string& key, bool value);
  virtual void WriteDate(const std::string& section, const std::string& key, TDateTime value);
  virtual void WriteDateTime(const std::string& section, const std::string& key, TDateTime value);
  virtual void WriteFloat(const std::string& section, const std::string& key, double value);
  virtual void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Sets Key to Value in Section, replacing the key's first line (letter case of the key
  // included) or appending a line; a missing section is appended. Modified is set only when the
  // file's text really changes. With an empty key: an empty section and value write back now
  // (SaveIfModified); otherwise Section is erased.
  virtual void WriteText(const std::string& section, const std::string& key, const std::string& value);
  virtual void WriteTime(const std::string& section, const std::string& key, TDateTime value);

  // Finds Section by a circular search from CurrentSection, which is left on the section found
  // (or on the last one examined). When it is missing and `create` is set, an empty section is
  // appended and becomes current. Returns the index of Key's first line, or -1; *lines is the
  // section's line list, or nullptr when the section does not exist.
  int LocateKey(const std::string& section, const std::string& key, bool create, TStringList** lines);

 private:
  void WriteBack();

  std::string fileName_;
};

}  // namespace dravello
