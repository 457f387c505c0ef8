// initool: drives one TSectionIniFile from the command line, for tests and for looking into an
// INI file.
//
//   initool FILE OP ARG... [-- OP ARG...]...
//
// One invocation is one store's life: the store is constructed on FILE (loading it), the
// operations run in order, and the store writes the file back when anything changed. Every read
// prints its result on one line of standard output (lists one item per line, booleans as 1 or 0);
// values are printed exactly as stored. When an operation fails, nothing is written back.
// Exit status: 0 success, 1 the store failed (load, refused write, write-back), 2 usage error.
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "ini/SectionIni.h"
#include "runtime/Classes.h"
#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

using namespace dravello;

namespace {

const char kUsage[] =
    "usage: initool FILE OP ARG... [-- OP ARG...]...\n"
    "operations:\n"
    "  read SECTION KEY DEFAULT       print the value (DEFAULT when missing)\n"
    "  readint SECTION KEY DEFAULT    print the value as an integer\n"
    "  readbool SECTION KEY 0|1       print the value as a boolean (1 or 0)\n"
    "  write SECTION KEY VALUE        set the value\n"
    "  writeint SECTION KEY INTEGER   set an integer value\n"
    "  writebool SECTION KEY 0|1      set a boolean value\n"
    "  delete SECTION KEY             remove the key's line\n"
    "  erase SECTION                  remove the section\n"
    "  has SECTION                    print 1 when the section exists, else 0\n"
    "  keys SECTION                   print the section's key names\n"
    "  values SECTION                 print the section's lines\n"
    "  sections                       print all section names\n"
    "  contents                       print the whole content as it would be written\n"
    "  modified                       print 1 when there are unwritten changes, else 0\n"
    "The file is written back at the end when anything changed; when an operation fails,\n"
    "nothing is written.\n";

struct OpSpec {
  const char* Name;
  int Arity;
};

const OpSpec kOps[] = {
    {"read", 3}, {"readint", 3}, {"readbool", 3}, {"write", 3},    {"writeint", 3},
    {"writebool", 3}, {"delete", 2}, {"erase", 1}, {"has", 1},      {"keys", 1},
    {"values", 1}, {"sections", 0}, {"contents", 0}, {"modified", 0},
};

struct Op {
  std::string Name;
  std::vector<std::string> Args;
  int32_t Number = 0;  // the integer or boolean argument, checked while parsing
};

struct UsageError {
  std::string Message;
};

std::optional<bool> ParseBoolArg(const std::string& s) {
  if (s == "1") return true;
  if (s == "0") return false;
  return std::nullopt;
}

std::vector<Op> ParseOps(int argc, char** argv) {
  std::vector<Op> ops;
  int i = 2;
  while (i < argc) {
    std::string name = argv[i++];
    const OpSpec* spec = nullptr;
    for (const OpSpec& s : kOps)
      if (name == s.Name) spec = &s;
    if (!spec) throw UsageError{"unknown operation \"" + name + "\""};
    if (argc - i < spec->Arity)
      throw UsageError{"\"" + name + "\" takes " + std::to_string(spec->Arity) + " argument(s)"};
    Op op{name, std::vector<std::string>(argv + i, argv + i + spec->Arity)};
    i += spec->Arity;
    if (name == "readint" || name == "writeint") {
      std::optional<int32_t> n = TryStrToInt(op.Args[2]);
      if (!n) throw UsageError{"\"" + name + "\": \"" + op.Args[2] + "\" is not an integer"};
      op.Number = *n;
    } else if (name == "readbool" || name == "writebool") {
      std::optional<bool> b = ParseBoolArg(op.Args[2]);
      if (!b) throw UsageError{"\"" + name + "\": expected 0 or 1, not \"" + op.Args[2] + "\""};
      op.Number = *b ? 1 : 0;
    }
    ops.push_back(std::move(op));
    if (i < argc) {
      if (std::string(argv[i]) != "--")
        throw UsageError{"expected \"--\" before \"" + std::string(argv[i]) + "\""};
      if (++i == argc) throw UsageError{"an operation must follow \"--\""};
    }
  }
  if (ops.empty()) throw UsageError{"no operation given"};
  return ops;
}

void PrintLine(const std::string& s) { std::cout << s << '\n'; }

void PrintList(const TStringList& list) {
  for (const std::string& s : list) PrintLine(s);
}

void Run(TSectionIniFile& ini, const Op& op) {
  const std::vector<std::string>& a = op.Args;
  const std::string& n = op.Name;
  if (n == "read") {
    PrintLine(ini.ReadText(a[0], a[1], a[2]));
  } else if (n == "readint") {
    PrintLine(IntToStr(ini.ReadInteger(a[0], a[1], op.Number)));
  } else if (n == "readbool") {
    PrintLine(ini.ReadBool(a[0], a[1], op.Number != 0) ? "1" : "0");
  } else if (n == "write") {
    ini.WriteText(a[0], a[1], a[2]);
  } else if (n == "writeint") {
    ini.WriteInteger(a[0], a[1], op.Number);
  } else if (n == "writebool") {
    ini.WriteBool(a[0], a[1], op.Number != 0);
  } else if (n == "delete") {
    ini.DeleteKey(a[0], a[1]);
  } else if (n == "erase") {
    ini.EraseSection(a[0]);
  } else if (n == "has") {
    PrintLine(ini.SectionExists(a[0]) ? "1" : "0");
  } else if (n == "keys") {
    TStringList list;
    ini.ReadSection(a[0], list);
    PrintList(list);
  } else if (n == "values") {
    TStringList list;
    ini.ReadSectionValues(a[0], list);
    PrintList(list);
  } else if (n == "sections") {
    TStringList list;
    ini.ReadSections(list);
    PrintList(list);
  } else if (n == "contents") {
    TStringList list;
    ini.ReadContents(list);
    PrintList(list);
  } else if (n == "modified") {
    PrintLine(ini.Modified ? "1" : "0");
  }
}

int Fail(const std::string& message) {
  std::cout.flush();
  std::cerr << "initool: " << message << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  InitLocale();
  if (argc < 3) {
    std::cerr << kUsage;
    return 2;
  }
  std::vector<Op> ops;
  try {
    ops = ParseOps(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "initool: " << e.Message << "\n(run initool without arguments for help)\n";
    return 2;
  }

  std::optional<TSectionIniFile> ini;
  try {
    ini.emplace(argv[1]);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  try {
    for (const Op& op : ops) Run(*ini, op);
  } catch (const std::exception& e) {
    ini->Modified = false;  // all or nothing: keep the file as it was
    return Fail(e.what());
  }
  try {
    ini->UpdateFile();
  } catch (const std::exception& e) {
    // Modified is still set; clear it so the destructor does not try the same write again.
    ini->Modified = false;
    return Fail(e.what());
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}
