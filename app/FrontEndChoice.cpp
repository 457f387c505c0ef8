#include "app/FrontEndChoice.h"

#include "runtime/CommandLine.h"
#include "ui/headless/HeadlessFrontEnd.h"
#ifdef DRAVELLO_HAVE_QT
#include "ui/qt/QtFrontEnd.h"
#endif

namespace dravello {

bool ChooseFrontEnd(TApplication& application, int& argc, char** argv) {
#ifdef DRAVELLO_HAVE_QT
  if (QtDisplayAvailable()) {
    application.SetFrontEnd(MakeQtFrontEnd(argc, argv));
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
