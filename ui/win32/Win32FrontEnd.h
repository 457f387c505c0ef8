// The Windows desktop front end: renders the forms of the window framework as native Win32
// windows and common controls (version 6, as the application manifest asks for).
//
// This header carries no Win32 type, so the program can choose its front end without seeing
// <windows.h>. It exists only in builds that define DRAVELLO_HAVE_WIN32.
#pragma once

#include <memory>

#include "ui/FrontEnd.h"

namespace dravello {

// True when the process can open windows that someone sees: its window station is the visible one
// (not a service's, nor that of a task run "whether the user is logged on or not"), and a
// top-level window can be created on its desktop (Wine without an X display cannot). Otherwise
// the program runs as it does without a display.
bool Win32DisplayAvailable();

// The desktop front end, for TApplication::SetFrontEnd. Call only when Win32DisplayAvailable().
// One such front end exists at a time.
std::unique_ptr<TFrontEnd> MakeWin32FrontEnd();

}  // namespace dravello
