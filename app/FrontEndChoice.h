// Which front end the program runs with.
#pragma once

#include "ui/Forms.h"

namespace dravello {

// Installs the desktop front end (Qt on Linux, Win32 on Windows) when the program was built with
// it and a display is there;
// otherwise the front end without windows, which suits a start with a script name (cron, a
// terminal). With a script name the desktop front end also prints the log lines and the boxes'
// texts, as the other does. Returns false when there is neither a display nor a script name: then there is
// nothing the program could do.
bool ChooseFrontEnd(TApplication& application, int& argc, char** argv);

}  // namespace dravello
