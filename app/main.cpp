// Program start: file names, message catalogue, application object, front end, main window.
//
//   dravello            opens the main window (needs a display)
//
// On Windows the program is a windowed one; started from a console it still prints there (see
// AttachParentConsole).
//   dravello NAME       runs the backup script NAME and exits: 0 when nothing failed, 1 when a
//                       step failed, 2 for a parameter error or an unknown script
//   dravello --dry-run NAME   prints what a run of NAME would copy or pack and writes nothing
//                       (DryRun.h); on Windows also /dryrun NAME
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/DryRun.h"
#include "app/FrontEndChoice.h"
#include "app/u_frmMain.h"
#include "app/u_types.h"
#include "lang/u_language.h"
#include "runtime/CommandLine.h"
#include "runtime/Console.h"
#include "runtime/Env.h"
#include "runtime/Locale.h"
#include "ui/headless/HeadlessFrontEnd.h"

using namespace dravello;

int main(int argc, char** argv) {
  AttachParentConsole();
  InitLocale();
  InitCommandLine(argc, argv);
  InitFileNames(Env::Default().ProgramFileName());
  mlMessages();  // the catalogue's component exists before any window

  TApplication application;
  application.SetTitle("Velmora's Dravello");
  application.SetIcon("MAINICON");
  if (ParamCount() >= 1 && IsDryRunSwitch(ParamStr(1))) {
    // No window, no log, no INI written: the front end without windows only carries the
    // parameter errors' boxes to standard error.
    application.SetFrontEnd(std::make_unique<THeadlessFrontEnd>());
    return RunDryRun(std::cout, std::cerr);
  }
  if (!ChooseFrontEnd(application, argc, argv)) {
    std::fprintf(stderr,
                 "dravello: no display to open the main window on.\n"
                 "Name a backup script to run it from the command line, e.g.  dravello Daily\n");
    return 2;
  }
  TfrmMain* form = application.CreateForm<TfrmMain>();
  application.Run();
  return form->ExitStatus();
}
