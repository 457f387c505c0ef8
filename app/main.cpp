// Program start: file names, message catalogue, application object, front end, main window.
//
//   dravello            opens the main window (needs a display)
//   dravello NAME       runs the backup script NAME and exits: 0 when nothing failed, 1 when a
//                       step failed, 2 for a parameter error or an unknown script
#include <cstdio>
#include <memory>

#include "app/FrontEndChoice.h"
#include "app/u_frmMain.h"
#include "app/u_types.h"
#include "lang/u_language.h"
#include "runtime/CommandLine.h"
#include "runtime/Env.h"
#include "runtime/Locale.h"

using namespace dravello;

int main(int argc, char** argv) {
  InitLocale();
  InitCommandLine(argc, argv);
  InitFileNames(Env::Default().ProgramFileName());
  mlMessages();  // the catalogue's component exists before any window

  TApplication application;
  application.SetTitle("Velmora's Dravello");
  application.SetIcon("MAINICON");
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
