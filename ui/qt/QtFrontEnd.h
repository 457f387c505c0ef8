// The desktop front end: renders the forms of the window framework as Qt 6 Widgets.
//
// This header carries no Qt type, so the program can choose its front end without seeing Qt.
// It exists only in builds that define DRAVELLO_HAVE_QT.
#pragma once

#include <memory>

#include "ui/FrontEnd.h"

namespace dravello {

// True when windows can be shown: a Qt platform was chosen explicitly (QT_QPA_PLATFORM, e.g.
// "offscreen"), or the display server answers (Env::DisplayAnswers). A display that is named but
// does not answer counts as none: Qt would abort the program, and a scheduled backup with it.
bool QtDisplayAvailable();

// The desktop front end, for TApplication::SetFrontEnd. Makes the program's Qt application
// object on argc / argv unless one exists already; the front end then owns it, and argc and
// argv must outlive the front end (pass main's). Call only when QtDisplayAvailable().
std::unique_ptr<TFrontEnd> MakeQtFrontEnd(int& argc, char** argv);

}  // namespace dravello
