#include "app/FrontEndChoice.h"

#include <iostream>

#include "runtime/CommandLine.h"
#include "ui/headless/HeadlessFrontEnd.h"
#ifdef DRAVELLO_HAVE_QT
#include "ui/qt/QtFrontEnd.h"
#endif
#ifdef DRAVELLO_HAVE_WIN32
#include "ui/win32/Win32FrontEnd.h"
#endif

namespace dravello {

bool ChooseFrontEnd(TApplication& application, int& argc, char** argv) {
#ifdef DRAVELLO_HAVE_QT
  if (QtDisplayAvailable()) {
    application.SetFrontEnd(MakeQtFrontEnd(argc, argv));
    // A run started with a script name prints as it does without a display, so that a terminal
    // or a scheduler sees the same lines wherever it runs; the window and its boxes still show.
    if (ParamCount() >= 1) application.SetConsoleEcho(&std::cout, &std::cerr);
    return true;
  }
#elif defined(DRAVELLO_HAVE_WIN32)
  (void)argc;
  (void)argv;
  if (Win32DisplayAvailable()) {
    application.SetFrontEnd(MakeWin32FrontEnd());
    // As above: the console that started a run by name (see AttachParentConsole) gets its lines.
    if (ParamCount() >= 1) application.SetConsoleEcho(&std::cout, &std::cerr);
    return true;
  }
#else
  (void)argc;
  (void)argv;
#endif
  if (ParamCount() == 0) return false;
  application.SetFrontEnd(std::make_unique<THeadlessFrontEnd>());
  return true;
}

}  // namespace dravello
