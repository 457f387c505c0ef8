// The preview of a run from the command line:
//
//   dravello --dry-run NAME     (on Windows also  dravello /dryrun NAME)
//
// does what a run of the script NAME does up to the decision of what to copy or pack, prints
// each file it would copy or pack with its destination, one per line, then the count line the
// run would log, and writes nothing at all: no folder, no archive, no attribute, no journal, no
// INI and no log line. No window is opened.
#pragma once

#include <iosfwd>
#include <string>

namespace dravello {

// Whether the command-line parameter asks for a preview ("--dry-run"; on Windows also "/dryrun"
// in any letter case).
bool IsDryRunSwitch(const std::string& param);

// Runs the preview for the command line (ParamStr(1) is the switch, ParamStr(2) the script's
// name) with the scripts of IniFileName, in the language the INI names. Lines go to `out`; log
// lines of failed steps to `err`; the parameter errors as message boxes of the application's
// front end. Returns the exit status: 0, 1 when a step failed, 2 for a parameter error or an
// unknown script.
int RunDryRun(std::ostream& out, std::ostream& err);

}  // namespace dravello
