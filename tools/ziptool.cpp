// ziptool: drives the archiver component from the command line.
//
//   ziptool add ARCHIVE [--options N] [--level N] [--engine-dir DIR] [--exclude SPEC]...
//                       [--specs-from FILE] [SPEC...]
//   ziptool list ARCHIVE [--dir-entries] [--codepage auto|none|oem]
//
// Both run unattended (no message boxes) and print every event of the component as it comes, one
// per line, then the component's state:
//   message <code> <text>             OnMessage
//   progress <kind> <size> <name>     OnProgress (add)
//   ErrCode: / Message: / AddedCount:                      (add)
//   ErrCode: / Message: / ArchiveComment: / PrefixSize: / SkippedDirCount: / DirOffsetMismatch:
//   entry <SeqNo>\t<name>\t<packed>\t<unpacked>\t<method>\t<crc>\t<flags>\t<host>\t<encrypted>   (list)
// Control characters inside texts are escaped ("\n", "\t", "\x07"); after a failed listing no
// entry is printed. add exits 0 when ErrCode is 0; list exits 0 when
// the archive was read (ErrCode 0 or one of the warnings 10203 and 10204). Wrong usage exits 2.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipMessages.h"

namespace dravello {
namespace {

int Usage() {
  std::cerr << "usage: ziptool add ARCHIVE [--options N] [--level N] [--engine-dir DIR] [--exclude SPEC]...\n"
               "                           [--specs-from FILE] [SPEC...]\n"
               "       ziptool list ARCHIVE [--dir-entries] [--codepage auto|none|oem]\n";
  return 2;
}

// A text on one line: control characters escaped ("\n", "\r", "\t", else "\xHH"), so a name
// holding a line break or a tab cannot pass for another line or another column.
std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (u < 0x20 || u == 0x7F)
      out += Format("\\x%.2x", {static_cast<int64_t>(u)});
    else
      out += c;
  }
  return out;
}

const char* ProgressName(ProgressType t) {
  switch (t) {
    case ptFileBegin:
      return "ptFileBegin";
    case ptBytesDone:
      return "ptBytesDone";
    case ptBatchEnd:
      return "ptBatchEnd";
    case ptTotalFiles:
      return "ptTotalFiles";
    case ptTotalBytes:
      return "ptTotalBytes";
  }
  return "?";
}

void PrintMessages(TZipArchiver& z) {
  z.OnMessage = [](TObject*, int32_t code, const std::string& text) {
    std::cout << "message " << code << ' ' << OneLine(text) << '\n';
  };
}

int RunAdd(const std::string& archive, const std::vector<std::string>& args) {
  TZipArchiver z(nullptr);
  z.SetUnattended(true);
  z.SetAddOptions(129);
  z.SetAddCompLevel(9);
  PrintMessages(z);
  z.OnProgress = [](TObject*, ProgressType t, const std::string& name, uint32_t size) {
    std::cout << "progress " << ProgressName(t) << ' ' << size << ' ' << OneLine(name) << '\n';
  };
  TStringList specs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--options" || a == "--level") {
      const std::string* v = value();
      std::optional<int32_t> n = v ? TryStrToInt(*v) : std::nullopt;
      if (!n) return Usage();
      if (a == "--options")
        z.SetAddOptions(static_cast<uint32_t>(*n));
      else
        z.SetAddCompLevel(*n);
    } else if (a == "--engine-dir") {
      const std::string* v = value();
      if (!v) return Usage();
      z.SetDLLDirectory(*v);
    } else if (a == "--exclude") {
      const std::string* v = value();
      if (!v) return Usage();
      z.FSpecArgsExcl()->Add(*v);
    } else if (a == "--specs-from") {
      const std::string* v = value();
      if (!v) return Usage();
      TStringList lines;
      try {
        lines.SetText(ReadFileToString(Env::Default(), *v));
      } catch (const std::exception& e) {
        std::cerr << "ziptool: " << e.what() << '\n';
        return 2;
      }
      for (const std::string& line : lines)
        if (!line.empty()) specs.Add(line);
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      specs.Add(a);
    }
  }
  // Naming the archive reads an existing one first, as the backup tool does.
  z.SetZipFileName(archive);
  for (const std::string& s : specs) z.FSpecArgs()->Add(s);
  z.Add();
  std::cout << "ErrCode: " << z.ErrCode() << '\n'
            << "Message: " << OneLine(z.Message()) << '\n'
            << "AddedCount: " << z.AddedCount() << '\n';
  return z.ErrCode() == 0 ? 0 : 1;
}

int RunList(const std::string& archive, const std::vector<std::string>& args) {
  TZipArchiver z(nullptr);
  z.SetUnattended(true);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--dir-entries") {
      z.SetUseDirOnlyEntries(true);
    } else if (a == "--codepage" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      if (v == "auto")
        z.SetCodePage(cpAuto);
      else if (v == "none")
        z.SetCodePage(cpNone);
      else if (v == "oem")
        z.SetCodePage(cpOEM);
      else
        return Usage();
    } else {
      return Usage();
    }
  }
  PrintMessages(z);
  std::vector<int32_t> seqNos;
  z.OnNewName = [&](TObject*, int32_t seqNo, const ZipDirEntry&) { seqNos.push_back(seqNo); };
  z.SetZipFileName(archive);
  std::cout << "ErrCode: " << z.ErrCode() << '\n'
            << "Message: " << OneLine(z.Message()) << '\n'
            << "ArchiveComment: " << OneLine(z.ArchiveComment()) << '\n'
            << "PrefixSize: " << z.PrefixSize() << '\n'
            << "SkippedDirCount: " << z.SkippedDirCount() << '\n'
            << "DirOffsetMismatch: " << (z.DirOffsetMismatch() ? "True" : "False") << '\n';
  const int32_t code = z.ErrCode();
  const bool read = code == 0 || code == zmStructureWarning || code == zmGarbageWarning;
  // Entries read before a failure are no listing of the archive.
  for (size_t i = 0; read && i < z.ZipContents().size(); ++i) {
    const ZipDirEntry& e = *z.ZipContents()[i];
    std::cout << "entry " << (i < seqNos.size() ? seqNos[i] : 0) << '\t' << OneLine(e.EntryName) << '\t'
              << e.PackedSize64 << '\t' << e.UnpackedSize64 << '\t' << e.Method << '\t'
              << Format("%.8x", {static_cast<int64_t>(e.Crc)}) << '\t'
              << Format("%.4x", {static_cast<int64_t>(e.GeneralFlags)}) << '\t' << static_cast<int>(e.HostSystem)
              << '\t' << (e.IsEncrypted ? "True" : "False") << '\n';
  }
  return read ? 0 : 1;
}

}  // namespace
}  // namespace dravello

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return dravello::Usage();
  const std::string command = args[0];
  const std::string archive = args[1];
  std::vector<std::string> rest(args.begin() + 2, args.end());
  try {
    if (command == "add") return dravello::RunAdd(archive, rest);
    if (command == "list") return dravello::RunList(archive, rest);
  } catch (const std::exception& e) {
    std::cerr << "ziptool: " << e.what() << '\n';
    return 1;
  }
  return dravello::Usage();
}
